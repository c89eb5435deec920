// The launcher: the small window in which the user picks a resolution and an editor, and
// the run stage that shows it.
#pragma once

// The launcher's window class (0x1015).
void LauncherRegisterClass(void);
// The stage: a 320 x 200 screen with the launcher window; a frame answers STEP_NEXT once an
// editor has been chosen and STEP_QUIT at Q.
void LauncherStart(void);
int LauncherFrame(void);
void LauncherDisplay(void);
void LauncherStop(void);
