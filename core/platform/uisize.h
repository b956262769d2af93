#pragma once

#include <QSize>

// Size presets: each returns its small-screen value when MyContext::isSmall is set.
namespace UiSize {

QSize mainWindow();
QSize footerMargin();
QSize noticeDialog();
QSize noticeButton();
QSize noticeMargins();
QSize titleIcon();
QSize titleTextButton();
QSize windowButton();
QSize accountPopup();
QSize signInDialog();
QSize signInHeader();
QSize dialogCloseButton();
QSize qrCodeImage();
QSize contactBox();

} // namespace UiSize
