#pragma once

#include <QMetaMethod>
#include <QPushButton>

// The title bar's sign-in button. While a user is signed in, hovering it opens the account popup;
// leaving it downwards into the popup keeps the popup open.
class MyLoginBtn : public QPushButton
{
    Q_OBJECT
public:
    // Depth of the zone below the button that leads into the account popup.
    static constexpr int hoverZoneDepth = 50;

    explicit MyLoginBtn(QWidget *parent = nullptr);

    // Back to the signed-out look: the plain sign-in icon.
    void resetLook();

    // True when pos (button coordinates) lies on the button or in the zone below it.
    bool keepsPopupOpen(const QPoint &pos) const;

    // Number of connections on one of this button's signals, e.g. &QPushButton::clicked; the title bar
    // keeps exactly one on each signal it uses.
    template <typename Signal> int receiverCount(Signal signal) const
    {
        const QByteArray signature =
            QByteArray::number(QSIGNAL_CODE) + QMetaMethod::fromSignal(signal).methodSignature();
        return receivers(signature.constData());
    }

signals:
    void showPer();
    void hidePer();

protected:
    void enterEvent(QEvent *event) override;
    void leaveEvent(QEvent *event) override;
};
