#pragma once

class MyDialog;

// Shows "您的登录已经过期，请您重新登录！" when the stored sign-in was refused as expired at start-up.
// Called once the main window is shown, so the notice stands above it. Returns the notice (it
// deletes itself when closed), or nullptr when there is nothing to tell.
MyDialog *showExpiredLoginNotice();
