// The base of every form: modal results, the form's own mouse-down and key-press handlers, and
// the construction path that sets the font, centres the form and lets Escape close it.
#pragma once

#include "ui/Controls.h"

#include <QDialog>
#include <QList>
#include <QPointer>
#include <memory>

// Modal results: a dialog's first button gives mrOk; its second button, the close cross and
// Escape give mrCancel.
inline constexpr int mrNone = 0;
inline constexpr int mrOk = 1;
inline constexpr int mrCancel = 2;

class TCommForm : public QDialog {
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)

public:
    // The toolkit's ordinary form constructor: no font, position or key handling of its own.
    explicit TCommForm(QWidget* AOwner = nullptr);
    ~TCommForm() override;

    // The form's own mouse-down handler: presses on the form's background, any button.
    TMouseEvent OnMouseDown;
    // Character keys; with KeyPreview the form sees them before the focused control, and a key
    // the handler turns into the null character goes no further.
    TKeyPressEvent OnKeyPress;

    QString Caption() const { return windowTitle(); }
    void SetCaption(const QString& Value) { setWindowTitle(Value); }
    bool KeyPreview() const { return FKeyPreview; }
    void SetKeyPreview(bool Value);
    // Centred on the screen when first shown.
    bool ScreenCenter() const { return FScreenCenter; }
    void SetScreenCenter(bool Value) { FScreenCenter = Value; }

    int ModalResult() const { return result(); }
    // A non-zero result ends the modal loop with that result.
    void SetModalResult(int Value);
    // Closing the form, however it is asked for, ends its modal loop with mrCancel.
    void reject() override;

    // Escape asks the form to close and is consumed; every other key passes unchanged.
    void EscKeyPress(QObject* Sender, QChar& Key);

    // The creation handler; CreateForm runs it once the whole constructor chain has finished.
    virtual void FormCreate() {}

    // Every form that exists, oldest first.
    static QList<TCommForm*> Forms();

protected:
    // The construction path of the dialogs, called from the concrete constructor's body: with
    // WithDfm the stored layout is built (LoadLayout), then initSettingManual.
    void Create(const QString& AFontName, int AFontSize, bool WithDfm);
    // The concrete form's stored layout: its controls, geometry, pictures and bindings.
    virtual void LoadLayout() {}
    void initSettingManual(const QString& AFontName, int AFontSize, bool WithDfm);

    bool eventFilter(QObject* Watched, QEvent* E) override;
    void keyPressEvent(QKeyEvent* E) override;
    void mousePressEvent(QMouseEvent* E) override;
    void showEvent(QShowEvent* E) override;

private:
    // The key press last previewed, so that its trip up the parents is not previewed again.
    struct TPreviewed {
        const QEvent* Event = nullptr;
        quint64 Timestamp = 0;
        QPointer<QWidget> Receiver;
    };
    TPreviewed FPreviewed;
    bool FKeyPreview = false;
    bool FScreenCenter = false;
    bool FShownOnce = false;
};

// Builds a form and then runs its creation handler, as the toolkit does after a constructor.
template <class TForm, class... TArgs> std::unique_ptr<TForm> CreateForm(TArgs&&... Args) {
    auto form = std::make_unique<TForm>(std::forward<TArgs>(Args)...);
    form->FormCreate();
    return form;
}
