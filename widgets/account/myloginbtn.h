#pragma once

#include <QPushButton>

// The title bar's sign-in button. Entering it asks for the account popup (showPer), leaving it asks to
// hide it (hidePer) unless the cursor went down into the popup; the title bar shows the popup only
// while a user is signed in.
class MyLoginBtn : public QPushButton
{
    Q_OBJECT
public:
    // Depth of the zone below the button that leads into the account popup.
    static constexpr int hoverZoneDepth = 50;
    // The sign-in icon of the signed-out look.
    static constexpr char iconFile[] = ":/icons/icons/login_white.png";

    explicit MyLoginBtn(QWidget *parent = nullptr);

    // Back to the signed-out look: the plain sign-in icon.
    void resetLook();

    // True when pos (button coordinates) lies on the button or in the zone below it.
    bool keepsPopupOpen(const QPoint &pos) const;

signals:
    void showPer();
    void hidePer();

protected:
    void enterEvent(QEvent *event) override;
    void leaveEvent(QEvent *event) override;
};
