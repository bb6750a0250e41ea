// The controls only the installer window uses: a page control whose pages the program switches,
// the flat progress bar, the link label and the window's timer.
#pragma once

#include "ui/Controls.h"

#include <QColor>
#include <QList>
#include <QProgressBar>
#include <QTimer>
#include <QWidget>

class QStackedWidget;
class QTabBar;
class TPageControl;

// One page of a TPageControl; its caption is the text of its tab.
class TTabSheet : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(bool TabVisible READ TabVisible WRITE SetTabVisible)

public:
    // Appends the page to the control.
    explicit TTabSheet(TPageControl* PageControl);

    TPageControl* PageControl() const { return FPageControl; }
    int PageIndex() const;
    QString Caption() const { return FCaption; }
    void SetCaption(const QString& Value);
    bool TabVisible() const { return FTabVisible; }
    void SetTabVisible(bool Value);

private:
    TPageControl* FPageControl;
    QString FCaption;
    bool FTabVisible = true;
};

// Pages under a strip of tabs. With every tab hidden the strip goes and the active page takes the
// whole control, so only the program switches pages.
class TPageControl : public QWidget {
    Q_OBJECT

public:
    explicit TPageControl(QWidget* Parent = nullptr);

    int PageCount() const { return int(FPages.size()); }
    TTabSheet* Pages(int Index) const { return FPages.value(Index); }
    TTabSheet* ActivePage() const { return FActive; }
    // Shows the page (one of this control's) and hides the one shown before.
    void SetActivePage(TTabSheet* Page);
    int ActivePageIndex() const;

    int TabHeight() const { return FTabHeight; }
    void SetTabHeight(int Value);
    // The tabs' text colour and font.
    void SetTabFont(const QFont& Value);
    void SetTabTextColor(const QColor& Value);
    // Where the pages sit: below the tabs, or the whole control without them.
    QRect DisplayRect() const;

    TNotifyEvent OnChange; // the user picked another tab

protected:
    void resizeEvent(QResizeEvent* E) override;

private:
    friend class TTabSheet;
    void addPage(TTabSheet* Page);
    void pageChanged(TTabSheet* Page);
    void relayout();
    void applyTabStyle();

    QTabBar* FTabBar;
    QList<TTabSheet*> FPages;
    TTabSheet* FActive = nullptr;
    int FTabHeight = 23;
    QColor FTabTextColor;
    bool FSyncing = false;
};

// A flat bar without border or text: the track in one colour, the done part in another.
class TFlatProgressBar : public QProgressBar {
    Q_OBJECT
    Q_PROPERTY(int Position READ Position WRITE SetPosition)

public:
    explicit TFlatProgressBar(QWidget* Parent = nullptr);

    int Position() const { return value(); }
    void SetPosition(int Value) { setValue(Value); }
    QColor TrackColor() const { return FTrackColor; }
    void SetTrackColor(const QColor& Value);
    QColor BarColor() const { return FBarColor; }
    void SetBarColor(const QColor& Value);
    // Width of the done part in pixels.
    int BarWidth() const;

    TNotifyEvent OnChange; // the position changed

protected:
    void paintEvent(QPaintEvent* E) override;

private:
    QColor FTrackColor = QColor(0xDD, 0xDD, 0xDD);
    QColor FBarColor = QColor(0x0F, 0x87, 0xFF);
};

// A label that reads as a link: a hand cursor and a click handler, never a window drag.
class TLinkLabel : public TLabel {
    Q_OBJECT

public:
    explicit TLinkLabel(QWidget* Parent = nullptr);
};

// A repeating timer that is either armed (Enabled) or not.
class TTimer : public QTimer {
    Q_OBJECT
    Q_PROPERTY(bool Enabled READ Enabled WRITE SetEnabled)
    Q_PROPERTY(int Interval READ interval WRITE setInterval)

public:
    explicit TTimer(QObject* Parent = nullptr);

    bool Enabled() const { return isActive(); }
    void SetEnabled(bool Value);
    int Interval() const { return interval(); }
    void SetInterval(int Value) { setInterval(Value); }

    TNotifyEvent OnTimer;
};
