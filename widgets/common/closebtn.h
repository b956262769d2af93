#pragma once

#include <QPushButton>

// A push button that shows one icon while hovered and another otherwise.
class CloseBtn : public QPushButton
{
    Q_OBJECT
public:
    CloseBtn(const QString &hoverIcon, const QString &normalIcon, QWidget *parent);

    // The close button of the title bar and of the dialogs, named "closeButton": a dark cross, white
    // on red while hovered. It takes no keyboard focus and is never a dialog's default button, so no
    // key closes a window by accident.
    static CloseBtn *create(const QSize &size, QWidget *parent);
    // Its cross while not hovered.
    static constexpr char normalIconFile[] = ":/icons/icons/close_dialog.png";

protected:
    void enterEvent(QEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    QString m_hoverIcon;
    QString m_normalIcon;
};
