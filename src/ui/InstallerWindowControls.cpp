// The page control, flat progress bar, link label and timer of the installer window.
#include "ui/InstallerWindowControls.h"

#include "ui/StoredLayout.h"

#include <QPainter>
#include <QTabBar>

// --- TTabSheet ---------------------------------------------------------------------------------

TTabSheet::TTabSheet(TPageControl* PageControl) : QWidget(PageControl), FPageControl(PageControl) {
    SetBackgroundColor(this, Qt::white);
    // The page control's own cursor belongs to its tabs, not to what its pages hold.
    setCursor(Qt::ArrowCursor);
    PageControl->addPage(this);
}

int TTabSheet::PageIndex() const {
    return int(FPageControl->FPages.indexOf(const_cast<TTabSheet*>(this)));
}

void TTabSheet::SetCaption(const QString& Value) {
    FCaption = Value;
    FPageControl->pageChanged(this);
}

void TTabSheet::SetTabVisible(bool Value) {
    FTabVisible = Value;
    FPageControl->pageChanged(this);
}

// --- TPageControl ------------------------------------------------------------------------------

TPageControl::TPageControl(QWidget* Parent) : QWidget(Parent), FTabBar(new QTabBar(this)) {
    FTabBar->setDrawBase(false);
    FTabBar->setExpanding(false);
    FTabBar->setFocusPolicy(Qt::NoFocus);
    // The tab bar's own scroll buttons are the toolkit's, not controls of a form.
    for (QWidget* inner : FTabBar->findChildren<QWidget*>())
        inner->setObjectName(QStringLiteral("qt_") + inner->objectName());
    FTabTextColor = SystemHotLightColor();
    applyTabStyle();
    connect(FTabBar, &QTabBar::currentChanged, this, [this](int Index) {
        if (FSyncing || Index < 0 || Index >= FPages.size())
            return;
        SetActivePage(FPages[Index]);
        if (OnChange)
            OnChange(this);
    });
    relayout();
}

void TPageControl::addPage(TTabSheet* Page) {
    FPages.append(Page);
    FSyncing = true;
    FTabBar->addTab(Page->Caption());
    FSyncing = false;
    if (!FActive)
        SetActivePage(Page);
    else
        Page->hide();
    relayout();
}

void TPageControl::pageChanged(TTabSheet* Page) {
    const int index = int(FPages.indexOf(Page));
    if (index < 0)
        return;
    FSyncing = true;
    FTabBar->setTabText(index, Page->Caption());
    FTabBar->setTabVisible(index, Page->TabVisible());
    FSyncing = false;
    relayout();
}

void TPageControl::SetActivePage(TTabSheet* Page) {
    if (!Page || Page == FActive || !FPages.contains(Page))
        return;
    TTabSheet* previous = FActive;
    FActive = Page;
    Page->setGeometry(DisplayRect());
    Page->show();
    Page->raise();
    if (previous)
        previous->hide();
    FSyncing = true;
    FTabBar->setCurrentIndex(int(FPages.indexOf(Page)));
    FSyncing = false;
}

int TPageControl::ActivePageIndex() const {
    return int(FPages.indexOf(FActive));
}

void TPageControl::SetTabHeight(int Value) {
    FTabHeight = Value;
    applyTabStyle();
    relayout();
}

void TPageControl::SetTabFont(const QFont& Value) {
    FTabBar->setFont(Value);
    relayout();
}

void TPageControl::SetTabTextColor(const QColor& Value) {
    FTabTextColor = Value;
    applyTabStyle();
}

void TPageControl::applyTabStyle() {
    FTabBar->setStyleSheet(
        QStringLiteral("QTabBar::tab { background: white; color: %1; height: %2px; border: none;"
                       " padding: 0 10px; }"
                       "QTabBar::tab:selected { border-bottom: 2px solid %1; }")
            .arg(FTabTextColor.name())
            .arg(FTabHeight));
}

QRect TPageControl::DisplayRect() const {
    for (const TTabSheet* page : FPages)
        if (page->TabVisible())
            return QRect(0, FTabHeight, width(), qMax(0, height() - FTabHeight));
    return rect();
}

void TPageControl::relayout() {
    const QRect display = DisplayRect();
    FTabBar->setVisible(display != rect());
    FTabBar->setGeometry(0, 0, width(), FTabHeight);
    for (TTabSheet* page : FPages)
        page->setGeometry(display);
}

void TPageControl::resizeEvent(QResizeEvent* E) {
    QWidget::resizeEvent(E);
    relayout();
}

// --- TFlatProgressBar --------------------------------------------------------------------------

TFlatProgressBar::TFlatProgressBar(QWidget* Parent) : QProgressBar(Parent) {
    setTextVisible(false);
    setRange(0, 100);
    setValue(0);
    connect(this, &QProgressBar::valueChanged, this, [this] {
        if (OnChange)
            OnChange(this);
    });
}

void TFlatProgressBar::SetTrackColor(const QColor& Value) {
    FTrackColor = Value;
    update();
}

void TFlatProgressBar::SetBarColor(const QColor& Value) {
    FBarColor = Value;
    update();
}

int TFlatProgressBar::BarWidth() const {
    const qint64 span = qint64(maximum()) - minimum();
    if (span <= 0)
        return 0;
    const qint64 done = qBound<qint64>(0, qint64(value()) - minimum(), span);
    return int(done * width() / span);
}

void TFlatProgressBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), FTrackColor);
    painter.fillRect(QRect(0, 0, BarWidth(), height()), FBarColor);
}

// --- TLinkLabel --------------------------------------------------------------------------------

TLinkLabel::TLinkLabel(QWidget* Parent) : TLabel(Parent) {
    setCursor(Qt::PointingHandCursor);
}

// --- TTimer ------------------------------------------------------------------------------------

TTimer::TTimer(QObject* Parent) : QTimer(Parent) {
    connect(this, &QTimer::timeout, this, [this] {
        if (OnTimer)
            OnTimer(this);
    });
}

void TTimer::SetEnabled(bool Value) {
    // Arming an armed timer does not restart its interval.
    if (Value == isActive())
        return;
    if (Value)
        start();
    else
        stop();
}
