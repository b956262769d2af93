#pragma once

#include <QWidget>

class QGridLayout;
class QScrollArea;

// The catalog page: a vertically scrolling grid of application tiles, four per row.
class CommonSoftwareMainWT : public QWidget
{
    Q_OBJECT
public:
    explicit CommonSoftwareMainWT(QWidget *parent = nullptr);

    void addItem(const QString &zhName, const QString &zhDesc, const QPixmap &pixmap, const QString &pathName,
                 const QString &version, const QString &downloadUrl);

    QGridLayout *grid() const { return m_gridLayout; }
    QScrollArea *scrollArea() const { return m_scrollArea; }

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    QScrollArea *m_scrollArea;
    QWidget *m_container;
    QGridLayout *m_gridLayout;
};
