#include "widgets/catalog/commonsoftwaremainwt.h"

#include "core/catalog/uninstallregistry.h"
#include "core/files/imagefile.h"
#include "core/platform/mycontext.h"
#include "widgets/catalog/softwareitemwidget.h"
#include "widgets/catalog/tilelook.h"

#include <QGridLayout>
#include <QResizeEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

namespace {
constexpr int columns = 4;
constexpr int tileWidth = 280;
constexpr int tileHeight = 320;

// A tile's place until the tile is made. Not empty, unlike other spacers: the grid puts its spacing
// next to it as next to a tile, so rows keep their places when their tiles come.
class TilePlace : public QSpacerItem
{
public:
    TilePlace()
        : QSpacerItem(tileWidth, tileHeight, QSizePolicy::Fixed, QSizePolicy::Fixed)
    {
    }
    bool isEmpty() const override { return false; }
};

const char scrollBarStyle[] =
    "QScrollBar:vertical {    border: none;    background: #f1f1f1;    width: 8px;    margin: 0px 0px 0px 0px;}"
    "QScrollBar::handle:vertical {    background: #c1c1c1;    min-height: 20px;    border-radius: 4px;}"
    "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical {    height: 0px;    background: none;}"
    "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical {    background: none;}";
} // namespace

CommonSoftwareMainWT::CommonSoftwareMainWT(QWidget *parent)
    : QWidget(parent)
    , m_scrollArea(new QScrollArea(this))
    , m_container(new QWidget)
    , m_gridLayout(new QGridLayout(m_container))
{
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(QStringLiteral("CommonSoftwareMainWT{background-color:white;}"));
    // The scroll area's size hint measures a line in its font: in the tiles' font it needs no font of
    // its own, which would be one more to load at start.
    m_scrollArea->setFont(MyContext::normalFont);
    m_scrollArea->setFrameShape(QFrame::NoFrame);
    m_scrollArea->setWidgetResizable(true);
    m_scrollArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scrollArea->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_scrollArea->verticalScrollBar()->setStyleSheet(QLatin1String(scrollBarStyle));

    m_container->setObjectName(QStringLiteral("m_container"));
    m_container->setStyleSheet(QLatin1String(TileLook::pageStyle));
    m_gridLayout->setSpacing(20);
    m_gridLayout->setContentsMargins(15, 15, 15, 15);
    m_scrollArea->setWidget(m_container);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_scrollArea);

    connect(m_scrollArea->verticalScrollBar(), &QScrollBar::valueChanged, this,
            &CommonSoftwareMainWT::makeTilesInView);
}

void CommonSoftwareMainWT::addItem(const QString &zhName, const QString &zhDesc, const QPixmap &pixmap,
                                   const QString &pathName, const QString &version, const QString &downloadUrl)
{
    addItem(zhName, zhDesc, CatalogIcon{QString(), pixmap}, pathName, version, downloadUrl);
}

void CommonSoftwareMainWT::addItem(const QString &zhName, const QString &zhDesc, const CatalogIcon &icon,
                                   const QString &pathName, const QString &version, const QString &downloadUrl,
                                   const QString &sha256)
{
    const int n = int(m_entries.size());
    auto *placeholder = new TilePlace;
    m_gridLayout->addItem(placeholder, n / columns, n % columns);
    m_entries.push_back({zhName, zhDesc, icon, pathName, version, downloadUrl, sha256, placeholder});
    if (isVisible())
        makeTilesInView();
}

void CommonSoftwareMainWT::makeTile(int index, const QPixmap &icon)
{
    Entry &entry = m_entries.at(size_t(index));
    const bool installed = isSoftwareInstalled(entry.pathName);
    // Any difference counts, a newer installed version too: versions have no order here.
    const bool needUpgrade = installed && getDisplayVersion(entry.pathName) != entry.version;

    auto *tile = new SoftwareItemWidget(m_container);
    tile->setInfo(entry.zhName, entry.zhDesc, icon, entry.downloadUrl, entry.pathName, installed, needUpgrade,
                  entry.sha256);
    tile->setFixedSize(tileWidth, tileHeight);
    tile->setGeometry(entry.placeholder->geometry());
    delete m_gridLayout->takeAt(m_gridLayout->indexOf(entry.placeholder));
    entry.placeholder = nullptr;
    m_gridLayout->addWidget(tile, index / columns, index % columns);
    entry.icon = CatalogIcon();
    tile->show();
}

void CommonSoftwareMainWT::makeTilesInView()
{
    // The rows' places follow from the grid's fixed sizes, so this needs no layout pass.
    const int viewBottom = m_scrollArea->verticalScrollBar()->value() + m_scrollArea->viewport()->height();
    const int margin = m_gridLayout->contentsMargins().top();
    const int rowStep = tileHeight + m_gridLayout->verticalSpacing();
    int end = m_firstPlaceholder;
    while (end < int(m_entries.size()) && margin + (end / columns) * rowStep < viewBottom)
        ++end;
    if (end == m_firstPlaceholder)
        return;
    // The icon files are read beside the making of the tiles.
    QStringList files;
    for (int i = m_firstPlaceholder; i < end; ++i)
        files.append(m_entries.at(size_t(i)).icon.fileToRead());
    ImageFileReader reader(files);
    for (const int first = m_firstPlaceholder; m_firstPlaceholder < end; ++m_firstPlaceholder) {
        const CatalogIcon &icon = m_entries.at(size_t(m_firstPlaceholder)).icon;
        makeTile(m_firstPlaceholder,
                 icon.fileToRead().isEmpty() ? icon.picture : reader.take(m_firstPlaceholder - first));
    }
}

void CommonSoftwareMainWT::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    makeTilesInView();
}

void CommonSoftwareMainWT::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    const bool taller = m_container->sizeHint().height() > height();
    m_scrollArea->setVerticalScrollBarPolicy(taller ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    if (isVisible())
        makeTilesInView();
}
