#pragma once

#include <QPushButton>

// A push button that shows one icon while hovered and another otherwise.
class CloseBtn : public QPushButton
{
    Q_OBJECT
public:
    CloseBtn(const QString &hoverIcon, const QString &normalIcon, QWidget *parent);

protected:
    void enterEvent(QEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    QString m_hoverIcon;
    QString m_normalIcon;
};
