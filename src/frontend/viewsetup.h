// The View Setup panel (class 0x1011) that a view's "V" button opens: the view's projection
// and its display options (the world-only ones in the World Editor alone). Each choice goes
// back to the view that opened it (VIEW_MSG_SET).
#pragma once

enum { VIEW_SETUP_W = 190, VIEW_SETUP_H = 97 };

void ViewSetupRegisterClass(void);
