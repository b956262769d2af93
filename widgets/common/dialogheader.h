#pragma once

#include <QWidget>

class CloseBtn;

// The header row of the sign-in and contact dialogs: picture, title, product name and the close button
// ("closeButton"). Its object name is "headerWidget".
class DialogHeader : public QWidget
{
    Q_OBJECT
public:
    DialogHeader(const QString &title, QWidget *parent);

    CloseBtn *closeButton() const { return m_closeButton; }

private:
    CloseBtn *m_closeButton;
};
