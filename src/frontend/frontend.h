// The front end as the kernel sees it: what start-up installs above the platform (text,
// fonts, the palette state, the built-in font and the interface colours), and the hooks of
// the launcher and editor stages.
#pragma once
#include "base/res.h"

// Hands the front end's hooks to the kernel; the program entry calls it before AppMain.
void FrontEndRegister(void);
// The start-up hook itself (tests that drive the run states call it through the kernel).
void FrontEndStartup(void);
// The built-in font made at start-up.
ResId FrontEndFont(void);
