#pragma once

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

    // The head image cut to a circle of the given radius; a null source gives a null pixmap.
    static QPixmap circularPixmap(const QPixmap &source, int radius);

    MyLoginBtn *loginButtonWidget() const { return loginButton; }
    PerInfoFloatDialog *accountPopupWidget() const { return accountPopup; }
    QPushButton *contactButtonWidget() const { return contactButton; }

public slots:
    void onClicked();
    void showPerInfoFloatDialog();
    void hidePerInfoFloatDialog();
    void loginOut();
    void refreshContent();
    void initLoginDialog();
    void showLoginDialog();
    void showConcatUsDialog();

private:
    QLabel *iconLabel;
    QLabel *titleLabel;
    MyLoginBtn *loginButton;
    PerInfoFloatDialog *accountPopup;
    QPushButton *contactButton;
    QPushButton *minimizeButton;
    CloseBtn *closeButton;
};
