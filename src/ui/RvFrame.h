#pragma once

#include <QDialog>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

#include "DevicePage.h"
#include "PageWorker.h"
#include "devices/rv/RvPageController.h"
#include "devices/rv/RvWorker.h"

class Console;
class RVx2;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTabWidget;
class QTableWidget;
class TIntEdit;
class ReadingsPage;

// TPortSetupForm, "Параметры подключения": the speed and the network address
// every request of the RV page goes to. The page reads both live.
class TPortSetupForm : public QDialog {
    Q_OBJECT
public:
    explicit TPortSetupForm(QWidget* parent = nullptr);
    QComboBox* ComboPortSpeed() const { return m_speed; }
    QSpinBox* CSpinAddress() const { return m_address; }
    // The speed list's position of the typed text; -1 when it is none of them.
    int speedIndex() const;

private:
    QComboBox* m_speed = nullptr;
    QSpinBox* m_address = nullptr;
};

// TRVFrame: the device page of an RV document. The engineer opens the
// meter's port, reads and writes its system parameters, outputs, both
// calibration tables, start-stop and empty-pipe settings, starts and stops a
// calibration run from the status panels and watches the current values,
// which the page polls every 1.5 s (and the raw readings every 200 ms while
// "Показания" is checked).
//
// A thin view: the values the document keeps live in the model's
// RvPageState, the requests, the timer's decisions and the reply handling
// in RvPageController; the page shows both and hands user input back. The
// worker starts when the page is first shown; the chosen port is stored as
// "RvComPort" at every open; the worker stops (and the port closes) when the
// page goes away.
class TRVFrame : public DevicePage {
    Q_OBJECT
public:
    TRVFrame(RVx2& device, Console& console, QWidget* parent = nullptr);
    ~TRVFrame() override;

    rv::RvPageController* controller() const;
    QString PortName() const override;
    // The "Показания" tab's content, made by the charts plugin when the tab
    // is first shown or by this call, whichever comes first.
    ReadingsPage* readingsTab();
    TPortSetupForm* portSetupForm() const { return m_setup; }

    // Shows the page state and the controller's values in the controls.
    void UpdateFromState();

    // The user's actions; a refused request goes to the console.
    void OpenPortButtonClick();
    void PortParamsClick();

signals:
    // A request finished and its result was handled (tests wait for it).
    // `reg` is the exchanged register, -1 for open and close.
    void resultHandled(int code, int reg, bool ok);

protected:
    // Initialisation: the worker, the 50 ms timer and the stored port,
    // selected and not opened.
    void Start() override;

private:
    using Worker = PageWorker<RVx2Thread, rv::RvPageController>;
    template <class Action>
    void Run(Action&& action);
    void HandleResult(bool ok);
    void PortNotified(bool back);
    void Activity(std::intptr_t transmitting);
    void BuildTopBar(QWidget* bar);
    QWidget* BuildMainTab();
    // The "Настройка" tab, one builder per group box.
    QWidget* BuildSetupTab();
    QGroupBox* BuildOutputsGroup(QWidget* tab);
    QGroupBox* BuildCalibrGroup(QWidget* tab);
    QGroupBox* BuildStartStopGroup(QWidget* tab);
    QGroupBox* BuildEmptyPipeGroup(QWidget* tab);
    // A button whose click runs `action` on the controller (a refusal goes
    // to the console), or the shared command handler with `command`.
    QPushButton* ActionButton(const QString& caption, const char* name, const QString& spoken, QWidget* parent,
                              std::function<void(rv::RvPageController&)> action);
    QPushButton* CommandButton(const QString& caption, const char* name, const QString& spoken,
                               rv::RvPageController::Command command, QWidget* parent);
    QWidget* BuildObservationTab();
    QTableWidget* BuildGrid(rv::CalibrGrid grid, const char* name, const QString& accessible);
    void ShowGrid(QTableWidget* table, rv::CalibrGrid grid);
    void ShowLamps();

    RVx2& m_device;
    rv::RvPageState& m_state;
    std::unique_ptr<Worker> m_worker;
    QTimer m_timer;  // SystemTimer

    TPortSetupForm* m_setup = nullptr;
    QComboBox* m_portBox = nullptr;
    QPushButton* m_openButton = nullptr;
    QPushButton* m_portParams = nullptr;
    QLabel* m_rx = nullptr;
    QLabel* m_tx = nullptr;
    QPushButton* m_bits[6] = {};
    int m_shownLamps[8] = {-1, -1, -1, -1, -1, -1, -1, -1};

    QTabWidget* m_pages = nullptr;
    QLineEdit* m_serial = nullptr;
    QComboBox* m_du = nullptr;
    QLineEdit* m_version = nullptr;
    QLineEdit* m_crc = nullptr;
    QLineEdit* m_integrator = nullptr;
    QLineEdit* m_nMeasure = nullptr;
    QLineEdit* m_middleCode = nullptr;
    QLineEdit* m_volume = nullptr;
    QLineEdit* m_impulseVolume = nullptr;
    QLineEdit* m_middleNoise = nullptr;
    QLineEdit* m_noiseSignal = nullptr;
    TIntEdit* m_netAddress = nullptr;
    TIntEdit* m_flowIntegrator = nullptr;
    QLineEdit* m_expenditure = nullptr;
    QLineEdit* m_volumeDir = nullptr;
    QLineEdit* m_volumeRev = nullptr;
    QLineEdit* m_workTime = nullptr;

    QComboBox* m_weight = nullptr;
    QCheckBox* m_meandr = nullptr;
    TIntEdit* m_impulseLen = nullptr;
    QLabel* m_impulseLenLabel = nullptr;
    QComboBox* m_card = nullptr;
    QLabel* m_reverseTypeCaption = nullptr;
    QComboBox* m_reverseType = nullptr;
    QCheckBox* m_noFilter = nullptr;
    QTabWidget* m_calibrPages = nullptr;
    QTableWidget* m_directGrid = nullptr;
    QTableWidget* m_reverseGrid = nullptr;
    QLineEdit* m_loLimit = nullptr;
    QLineEdit* m_hiLimit = nullptr;
    QRadioButton* m_modes[4] = {};
    TIntEdit* m_noiseCancel = nullptr;
    QLabel* m_noiseLabel = nullptr;
    QCheckBox* m_disableEmptyPipe = nullptr;
    QLineEdit* m_tep[6] = {};  // TepCode, TepNoize, TepCodeRange, TepNoizeRange, TepMeasureCount, TepHysteresis

    QWidget* m_observationSheet = nullptr;
    ReadingsPage* m_readingsTab = nullptr;
    QCheckBox* m_observation = nullptr;
    QLabel* m_reading = nullptr;
};
