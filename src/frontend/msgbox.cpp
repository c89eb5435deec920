// Until the drawn box lands, boxes are the platform's native ones.
#include "frontend/msgbox.h"

#include "platform/platform.h"

void MsgBoxRegisterClass(void) {}

WinId MsgBoxShow(const char* title, const char* text)
{
    PlatMessageBox(title, text, MB_OK);
    return 0;
}

const char* MsgBoxErrorText(int code)
{
    (void)code;
    return "Unknown Error Code!";
}

WinId MsgBoxError(const char* title, int code) { return MsgBoxShow(title, MsgBoxErrorText(code)); }
