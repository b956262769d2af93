#pragma once

#include <QDialog>

class QLabel;
class QPushButton;
class RoundQLabel;

// The signed-in user's popup under the title bar's sign-in button: round head image, nickname, user id
// and "退出登录". Created once with the title bar; only shown, moved and hidden.
class PerInfoFloatDialog : public QDialog
{
    Q_OBJECT
public:
    explicit PerInfoFloatDialog(QWidget *parent);

    RoundQLabel *headLabel() const { return m_headLabel; }
    QLabel *nickNameLabel() const { return m_nickNameLabel; }
    QLabel *userIdLabel() const { return m_userIdLabel; }
    QPushButton *loginOutButton() const { return m_loginOutButton; }

signals:
    void parentLoginOut();

public slots:
    // Fills the popup from the signed-in user; run before each showing.
    void refreshContent();
    void loginOut();

protected:
    void leaveEvent(QEvent *event) override;

private:
    RoundQLabel *m_headLabel;
    QLabel *m_nickNameLabel;
    QLabel *m_userIdLabel;
    QPushButton *m_loginOutButton;
};
