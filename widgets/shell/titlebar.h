#pragma once

#include <QStringList>
#include <QWidget>

class CloseBtn;
class MyLoginBtn;
class PerInfoFloatDialog;
class QLabel;
class QPushButton;

// The frameless main window's own title bar: icon, name, sign-in area, customer service and the
// window buttons.
class TitleBar : public QWidget
{
    Q_OBJECT
public:
    explicit TitleBar(QWidget *parent);

    // The pictures a new title bar shows. readPixmapFile() keeps what it decodes, so reading them ahead
    // of the title bar, while the start waits for other work, takes their decoding off its way.
    static QStringList startPictures();

    MyLoginBtn *loginButtonWidget() const { return loginButton; }
    // The account popup, made on first use: nobody sees it before a signed-in user hovers the sign-in
    // button.
    PerInfoFloatDialog *accountPopupWidget();
    QPushButton *contactButtonWidget() const { return contactButton; }

public slots:
    void onClicked();
    // Hovering the sign-in button: the account popup shows only while a user is signed in.
    void showPerInfoFloatDialog();
    void hidePerInfoFloatDialog();
    void loginOut();
    // The sign-in button's text and head image for whoever is signed in now.
    void refreshContent();
    void initLoginDialog();
    // Clicking the sign-in button: a new sign-in dialog, only while nobody is signed in.
    void showLoginDialog();
    void showConcatUsDialog();

private:
    QLabel *iconLabel;
    QLabel *titleLabel;
    MyLoginBtn *loginButton;
    PerInfoFloatDialog *accountPopup = nullptr;
    QPushButton *contactButton;
    QPushButton *minimizeButton;
    CloseBtn *closeButton;
};
