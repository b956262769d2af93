#pragma once

#include <QFrame>

class CommonSoftwareMainWT;
class TitleBar;

// The fixed-size frameless main window: title bar, catalog page and footer.
class MainWidget : public QFrame
{
    Q_OBJECT
public:
    explicit MainWidget(QWidget *parent = nullptr);
    ~MainWidget() override;

    TitleBar *titleBarWidget() const { return titleBar; }
    CommonSoftwareMainWT *page() const { return catalogPage; }

private:
    QWidget *buildFooter();
    // The band where a press starts a window drag (all edges exclusive).
    bool inDragBand(const QPoint &pos) const;

    TitleBar *titleBar = nullptr;
    CommonSoftwareMainWT *catalogPage = nullptr;
    int windowWidth = 0;
    int windowHeight = 0;
    int dragLeft = 0;
    int dragRight = 0;
    int dragTop = 0;
    int dragBottom = 0;
};
