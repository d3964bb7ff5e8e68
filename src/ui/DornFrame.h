#pragma once

#include <QWidget>

#include <memory>

#include "BusyState.h"
#include "DevicePage.h"
#include "PageWorker.h"
#include "devices/dorn/DornPageController.h"

class Console;
class Dorn;
class DornPageState;
class QLabel;
class QPushButton;
class TDisComboBox;
class TFloatEdit;
class TIntEdit;

// TDornFrame: port, factory number, pulse weight, diameter and the
// coefficients A and B of a Dorn transducer, read from and written to the
// transducer through the page's worker. A view over the model's
// DornPageState and the page's DornPageController: edits go into the state,
// clicks and the port choice to the controller, the worker's notifications
// to the controller on the window thread; state changes repaint the page.
//
// Busy while a request is pending: the port selector and both buttons are
// disabled, the cursor is the busy one, and the focus returns afterwards to
// where the user left it. Results go to the console
// ("Параметры записаны", "Параметры считаны" or the failure's text). The
// selected port is kept in the settings store as "DornComPort" when the page
// goes away.
class TDornFrame : public DevicePage {
    Q_OBJECT
public:
    TDornFrame(Dorn& device, Console& console, QWidget* parent = nullptr);
    ~TDornFrame() override;

    // Shows the page state in the controls.
    void UpdateFromState();
    // The selected port, enabled states, visibility and cursor by the
    // controller's port and busy state and the model.
    void UpdateControls();
    bool busy() const;
    QString PortName() const override;

    // The user's actions: the controls' values go to the controller; a
    // refused request is written to the console.
    void cbPortChange();
    void cbDuChange();
    void bnWriteClick();
    void bnReadClick();

    // The controls, for the window and for tests.
    TDisComboBox* cbPort() const { return m_port; }
    TIntEdit* edDevNum() const { return m_devNum; }
    TDisComboBox* cbOutType() const { return m_outType; }
    TDisComboBox* cbDu() const { return m_du; }
    TFloatEdit* edA() const { return m_a; }
    TFloatEdit* edB() const { return m_b; }
    QPushButton* bnRead() const { return m_read; }
    QPushButton* bnWrite() const { return m_write; }

signals:
    // A request finished and its result was handled (tests wait for it).
    void resultHandled(int code, bool ok);

protected:
    // Initialisation: the worker, then the stored port, which is opened.
    void Start() override;

private:
    using Worker = PageWorker<DornThread, DornPageController>;
    // Runs a handler of the controller; its failure goes to the console.
    template <class Action>
    void Run(Action&& action);
    void HandleResult(bool ok);
    void PortNotified(bool back);

    Dorn& m_device;
    DornPageState& m_state;
    BusyState m_busy;
    std::unique_ptr<Worker> m_worker;  // made when the page is first shown

    TDisComboBox* m_port = nullptr;
    TIntEdit* m_devNum = nullptr;
    QLabel* m_outTypeLabel = nullptr;
    TDisComboBox* m_outType = nullptr;
    TDisComboBox* m_du = nullptr;
    TFloatEdit* m_a = nullptr;
    TFloatEdit* m_b = nullptr;
    QPushButton* m_read = nullptr;
    QPushButton* m_write = nullptr;
};
