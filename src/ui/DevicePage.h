#pragma once

#include <QWidget>

#include <functional>

#include "StoredPort.h"
#include "components/FloatEdit.h"
#include "components/IntEdit.h"
#include "devices/PageFields.h"

class Console;

// An edit of a page field takes the field's limits (and a decimal field's
// digits) from the state: the page repeats no number the state holds.
inline void TakeLimits(TFloatEdit* edit, const FloatField& field) {
    edit->SetDigits(field.digits());
    edit->SetMin(field.min());
    edit->SetMax(field.max());
}
inline void TakeLimits(TIntEdit* edit, const IntField& field) {
    edit->SetMin(field.min());
    edit->SetMax(field.max());
}

// A device page: a view whose worker starts, and whose remembered port is
// read, only when the page is first shown for real, so that a page made
// and never shown (srvtool reading a document, a test) opens no port and
// starts no thread. Its results and failures go to the message console;
// a button's action that is refused before anything is sent says why in an
// error box.
class DevicePage : public QWidget {
    Q_OBJECT
public:
    // What shows the error box of a button's failed action; tests replace
    // it. Null: QMessageBox.
    using ErrorBox = std::function<void(QWidget* owner, const QString& text)>;
    static void SetErrorBox(ErrorBox box);

    // Initialisation: runs once; the first show calls it.
    void Initialise();

    // The name of the port the page's port row shows; empty when none.
    virtual QString PortName() const = 0;
    bool initialised() const { return m_initialised; }

protected:
    // `portValue` names the page's remembered port in the settings store.
    DevicePage(Console& console, const char* portValue, QWidget* parent);
    // What the page's initialisation does.
    virtual void Start() = 0;
    void showEvent(QShowEvent* event) override;
    // A button's action refused or failed: the error box over the page.
    void ShowError(const char* text);

    // Runs `apply`, which hands a control's input to the state, unless the
    // page is showing the state: the change does not come back into the
    // control being typed in, nor does a repaint count as input.
    template <class Apply>
    void FromControl(Apply&& apply) {
        if (m_updating) return;
        m_updating = true;
        apply();
        m_updating = false;
    }

    Console& m_console;
    StoredPort m_storedPort;
    bool m_updating = false;  // the page is showing the state, or taking input

private:
    bool m_initialised = false;
};
