#pragma once

#include <QWidget>

#include <functional>
#include <memory>

#include "BusyState.h"
#include "DevicePage.h"
#include "PageWorker.h"
#include "devices/kelt/KeltPageController.h"
#include "devices/kelt/KeltThread.h"

class Console;
class Kelt;
class KeltPageState;
class QCheckBox;
class QFormLayout;
class QGridLayout;
class QHBoxLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class TDisComboBox;
class TFloatEdit;
class TIntEdit;

// TKeltFrame: the device page of a Kelt document. The engineer picks the
// port, tunes the ОРБ-КЕЛТ adapter, reads and writes the transducer's
// coefficients and output settings, and asks for battery voltage,
// temperature and signal quality, and the firmware version.
//
// A thin view: the values, their limits, what each model shows and every
// rule between the fields live in the device model's KeltPageState; the
// requests and what their results do live in KeltPageController. The page
// shows the state, hands user input back, and repaints when the state
// changes.
//
// The worker starts (and the port stored as "KeltComPort" opens) when the
// page is first shown; the port choice is stored again and the worker
// stopped when the page goes away. While a request is pending the page is
// busy: the port selector and the buttons are disabled and the cursor says
// so; the focus returns afterwards to where the user left it.
class TKeltFrame : public DevicePage {
    Q_OBJECT
public:
    TKeltFrame(Kelt& device, Console& console, QWidget* parent = nullptr);
    ~TKeltFrame() override;

    bool busy() const { return m_busy.busy(); }
    QString PortName() const override;

    // Shows the page state in the controls.
    void UpdateFromState();
    // Visibility, captions and enabled states by model, output type and
    // busy state.
    void UpdateControls();

    // The user's actions. A refused request ("Queue is not empty", "Прибор
    // не поддерживает Ду20") is shown in an error box.
    void cbPortChange();
    // A button's handler of the controller (bnReadClick, bnGetUClick, …),
    // which each button runs through this.
    using Handler = void (KeltPageController::*)();
    void Request(Handler handler);

    // The controls most callers need; every control is also found by its
    // object name (edA1, cbDu, bnRead, …).
    TDisComboBox* cbPort() const { return m_port; }
    QLineEdit* edDevNum() const { return m_devNum; }
    QSlider* tbLevel() const { return m_level; }
    QLabel* lbAmp() const { return m_amp; }
    TFloatEdit* edA(int i) const { return m_a[i]; }  // 0 … 4: A1 … A5
    TFloatEdit* edB(int i) const { return m_b[i]; }
    TFloatEdit* edF(int k) const { return m_f[k]; }  // 0 … 3: F12 … F45
    TDisComboBox* cbDu() const { return m_du; }
    TDisComboBox* cbOutType() const { return m_outType; }
    TDisComboBox* cbWeight() const { return m_weight; }
    TFloatEdit* edTauOut() const { return m_tau; }
    TIntEdit* edN() const { return m_n; }
    TIntEdit* edOffset() const { return m_offset; }

signals:
    // A request's result was handled (tests wait for it): the request code,
    // its sub-command and whether it succeeded.
    void resultHandled(int code, int sub, bool ok);

protected:
    // Initialisation: the worker, then the stored port, which is opened.
    void Start() override;

private:
    using Worker = PageWorker<KeltThread, KeltPageController>;
    // The page's controls, one builder per group box.
    void BuildControls();
    QFormLayout* BuildPortRows();
    void BuildAdapterGroup();
    void BuildParametersGroup();
    QGridLayout* BuildSegmentRows();
    QHBoxLayout* BuildOutputRows();
    QHBoxLayout* BuildParameterButtons();
    void BindInput();
    // Runs one handler of the controller; a refusal goes to the error box.
    void Run(const std::function<void(KeltPageController&)>& post);
    void HandleResult(bool ok);
    void PortNotified(bool back);
    void ShowAmplitude(const PageResult::Amplitude& amplitude);

    Kelt& m_device;
    KeltPageState& m_state;
    BusyState m_busy;
    // Made when the page is first shown. Its pauses (the 12 seconds after a
    // busy answer among them) end at once when the page closes, so that
    // closing a document never waits for a pause to run out.
    std::unique_ptr<Worker> m_worker;

    TDisComboBox* m_port = nullptr;
    QLineEdit* m_devNum = nullptr;
    QGroupBox* m_adapter = nullptr;
    QSlider* m_level = nullptr;
    QLabel* m_amp = nullptr;
    QPushButton* m_setLevel = nullptr;
    QPushButton* m_getAmp = nullptr;
    QPushButton* m_reset = nullptr;
    QPushButton* m_auto = nullptr;
    QGroupBox* m_parameters = nullptr;
    TFloatEdit* m_a[5] = {};
    TFloatEdit* m_b[5] = {};
    TFloatEdit* m_f[4] = {};
    QLabel* m_aLabel[5] = {};
    QLabel* m_bLabel[5] = {};
    QLabel* m_fLabel[4] = {};
    QFormLayout* m_outputForm = nullptr;  // Ду, output type, pulse weight
    QFormLayout* m_pulseForm = nullptr;   // pulse length, n, temperature correction
    TDisComboBox* m_du = nullptr;
    QLabel* m_outTypeLabel = nullptr;
    TDisComboBox* m_outType = nullptr;
    QLabel* m_weightLabel = nullptr;
    TDisComboBox* m_weight = nullptr;
    QLabel* m_tauLabel = nullptr;
    TFloatEdit* m_tau = nullptr;
    QLabel* m_nLabel = nullptr;
    TIntEdit* m_n = nullptr;
    QLabel* m_offsetLabel = nullptr;
    TIntEdit* m_offset = nullptr;
    QPushButton* m_read = nullptr;
    QPushButton* m_write = nullptr;
    QPushButton* m_getT = nullptr;
    QPushButton* m_getU = nullptr;
    QPushButton* m_getVerCrc = nullptr;
    QCheckBox* m_disableRestore = nullptr;
    QCheckBox* m_disableThermocorrection = nullptr;
};
