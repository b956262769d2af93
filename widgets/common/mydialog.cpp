#include "widgets/common/mydialog.h"

#include "core/files/imagefile.h"
#include "core/platform/uisize.h"
#include "core/platform/mycontext.h"

#include <QGraphicsDropShadowEffect>
#include <QGridLayout>
#include <QPushButton>
#include <QTextEdit>

MyDialog::MyDialog(const QString &text, QWidget *parent)
    : QDialog(parent)
    , m_textEdit(new QTextEdit(this))
    , m_okButton(new QPushButton(QStringLiteral("确定"), this))
    , m_layout(new QGridLayout(this))
    , m_shadow(new QGraphicsDropShadowEffect(this))
{
    setFixedSize(UiSize::noticeDialog());

    m_textEdit->setFont(MyContext::normalFont);
    m_textEdit->setStyleSheet(QStringLiteral("QTextEdit{color:#484848;border:0px;}"));
    m_textEdit->setContentsMargins(3, 10, 3, 3);
    m_textEdit->setReadOnly(true);
    m_textEdit->setText(text);

    m_okButton->setFixedSize(UiSize::noticeButton());
    m_okButton->setFont(MyContext::normalFont);
    m_okButton->setCursor(Qt::PointingHandCursor);
    m_okButton->setStyleSheet(
        QStringLiteral("QPushButton{border:0px;border-radius:5px;background-color:#2F69F2;color:white;}"
                       "QPushButton:hover{background-color:#487FFF;}"));
    connect(m_okButton, &QPushButton::clicked, this, &QDialog::close);

    setWindowTitle(QStringLiteral("提示"));
    setWindowIcon(QIcon(readPixmapFile(QStringLiteral(":/icons/icons/note.png"))));
    setAttribute(Qt::WA_DeleteOnClose);

    m_layout->setSpacing(15);
    m_layout->setContentsMargins(15, UiSize::noticeMargins().width(), 20, UiSize::noticeMargins().height());
    m_layout->addWidget(m_textEdit, 0, 0, 1, 6);
    m_layout->addWidget(m_okButton, 1, 5);
    for (int column = 0; column < 6; ++column)
        m_layout->setColumnStretch(column, 1);

    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setModal(true);

    m_shadow->setOffset(0, 0);
    m_shadow->setColor(QColor(38, 78, 119, 127));
    m_shadow->setBlurRadius(50);
    setGraphicsEffect(m_shadow);

    setStyleSheet(QStringLiteral("MyDialog{background-color:white;}"));
}
