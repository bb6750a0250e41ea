// The borderless form every window of the installer derives from: the translation pass at
// construction, drag-to-move by the form's background, plain images, labels, panels and group
// boxes, and the drop shadow where the window system gives one.
#pragma once

#include "ui/CommForm.h"
#include "ui/Language.h"

class TCommLangForm : public TCommForm {
    Q_OBJECT
    Q_PROPERTY(
        bool bMouseDownToMoveClient READ bMouseDownToMoveClient WRITE SetbMouseDownToMoveClient)

public:
    // The toolkit's ordinary form constructor (the installer window's path): borderless, with
    // the shadow, but no font, Escape or translation pass, and drag-to-move off.
    explicit TCommLangForm(QWidget* AOwner = nullptr);

    bool bMouseDownToMoveClient() const { return FbMouseDownToMoveClient; }
    // On: the form's own mouse-down handler, and that of its plain images and labels without a
    // click handler, of its panels without a mouse-down handler and of its group boxes, starts
    // a window move. Off: those handlers are cleared on the form and on the same controls.
    void SetbMouseDownToMoveClient(bool Value);

    // Starts moving the window with the pointer until the button is released (any button).
    void MouseDownToMoveClient(QObject* Sender, Qt::MouseButton Button, Qt::KeyboardModifiers Shift,
                               int X, int Y);

    // Asks the window system for the frameless window's drop shadow; false when it offers none
    // (X11 and Wayland leave it to the compositor, offscreen has none).
    bool EnableDwmShadow();

protected:
    // The dialogs' construction path, called from the concrete constructor's body: stored layout,
    // font of the form's language, centred, Escape closes; then the translation pass; then
    // drag-to-move as asked.
    void Create(bool WithDfm, bool bMouseDownToMoveClient);
    void TranslateManually();
    // Runs after the translation pass.
    virtual void DoAfterFormTranslate() {}

    bool event(QEvent* E) override;

    TLanguage FLang = Lang_EN;
    QString FVer;

private:
    bool FbMouseDownToMoveClient = false;
    // Follows the pointer where the window system cannot move the window itself.
    QObject* FMoveFollower = nullptr;
};
