#pragma once

#include <QDialog>

class QGraphicsDropShadowEffect;
class QGridLayout;
class QPushButton;
class QTextEdit;

// The common modal notice: a read-only text and one "确定" button. Deletes itself when closed.
class MyDialog : public QDialog
{
    Q_OBJECT
public:
    explicit MyDialog(const QString &text, QWidget *parent = nullptr);

    QTextEdit *textEdit() const { return m_textEdit; }
    QPushButton *okButton() const { return m_okButton; }

private:
    QTextEdit *m_textEdit;
    QPushButton *m_okButton;
    QGridLayout *m_layout;
    QGraphicsDropShadowEffect *m_shadow;
};
