#pragma once

#include <QDialog>

#include <functional>
#include <memory>

#include "BusyState.h"
#include "PageWorker.h"
#include "StoredPort.h"
#include "devices/nivor/SpprController.h"

class Console;
class PackageBase;
class QComboBox;
class QFormLayout;
class QGroupBox;
class QLabel;
class QPushButton;
class QStackedWidget;
class QTimer;
class TDisComboBox;
class TFloatEdit;
class TIntEdit;

// TSpprDlg ("НИВ-2.3"): starts and stops a measurement on the Nivor
// counting instrument, polls it once a second, shows its counts, times,
// temperature and supply voltage, and adds them as a new entry to the
// target package. A view over SpprController: its controls feed the
// controller, the worker's notifications reach the controller on the window
// thread, and every change repaints the dialog.
//
// Always on top and not modal; the main window makes it on first use and it
// is deleted when closed. Its worker and port live as long as the dialog;
// the chosen port is kept in the settings store as "SpprComPort".
class TSpprDlg : public QDialog {
    Q_OBJECT
public:
    explicit TSpprDlg(Console& console, QWidget* parent = nullptr);
    ~TSpprDlg() override;

    // The package entries go to (none on the device tab). The dialog keeps
    // only a weak reference: a package deleted meanwhile takes no entry.
    void SetPackage(const std::shared_ptr<PackageBase>& package);

    // What a refused request shows (an error box unless replaced; tests
    // replace it).
    using ErrorBox = std::function<void(QWidget* owner, const QString& text)>;
    static void SetErrorBox(ErrorBox box);

    // The user's actions.
    void cbPortChange();
    void cbModeChange();
    void cbChannel1Change();
    void cbChannel2Change();
    void cbChannelChange();
    void cbTempChChange();
    void bnStartClick();
    void bnStopClick();
    void bnToPackageClick();
    void TimerTimer();

    const SpprController& controller() const;
    bool busy() const;

    // The controls, for tests.
    TDisComboBox* cbPort() const { return m_port; }
    QLabel* pnU() const { return m_u; }
    QComboBox* cbChannel1() const { return m_channel1; }
    QComboBox* cbChannel2() const { return m_channel2; }
    QComboBox* cbMode() const { return m_mode; }
    QLabel* lbCriterion() const { return m_criterion; }
    TFloatEdit* edTime() const { return m_time; }
    TIntEdit* edPulses() const { return m_pulses; }
    QLabel* stBlank() const { return m_blank; }
    QComboBox* cbChannel() const { return m_channel; }
    QComboBox* cbTempCh() const { return m_tempCh; }
    QComboBox* cbTspType() const { return m_tspType; }
    QPushButton* bnStart() const { return m_start; }
    QPushButton* bnStop() const { return m_stop; }
    QLabel* pntq() const { return m_tq; }
    QLabel* pnN1() const { return m_n1; }
    QLabel* pnt1() const { return m_t1; }
    QLabel* pnN2() const { return m_n2; }
    TFloatEdit* pnTemp() const { return m_temp; }
    QLabel* lbVolMass() const { return m_volMassLabel; }
    TFloatEdit* edVolMass() const { return m_volMass; }
    QPushButton* bnToPackage() const { return m_toPackage; }
    QTimer* timer() const { return m_timer; }

signals:
    // A request finished and its result was handled (tests wait for it).
    void resultHandled(int code, int command, bool ok);
    // An entry was added to `package`; the main window shows it.
    void entryAdded(PackageBase* package);

private:
    using Worker = PageWorker<SpprThread, SpprController>;
    // The dialog's controls, one builder per group box.
    QFormLayout* BuildPortRows();
    QGroupBox* BuildSettingsGroup();
    QGroupBox* BuildDataGroup();
    // Runs a request of a button; a refused one is shown in the error box.
    void Request(const std::function<void(SpprController&)>& post);
    void HandleResult(bool ok);
    void PortNotified(bool back);
    void UpdateControls();
    // The port selector and the buttons by the controller's state.
    void ApplyEnabled();
    void FillInputLists();

    Console& m_console;
    StoredPort m_storedPort;
    BusyState m_busy;
    std::unique_ptr<Worker> m_worker;
    std::weak_ptr<PackageBase> m_package;
    bool m_updating = false;

    TDisComboBox* m_port = nullptr;
    QLabel* m_u = nullptr;
    QComboBox* m_channel1 = nullptr;
    QComboBox* m_channel2 = nullptr;
    QComboBox* m_mode = nullptr;
    QLabel* m_criterion = nullptr;
    QStackedWidget* m_criterionField = nullptr;
    TFloatEdit* m_time = nullptr;
    TIntEdit* m_pulses = nullptr;
    QLabel* m_blank = nullptr;
    QComboBox* m_channel = nullptr;
    QComboBox* m_tempCh = nullptr;
    QComboBox* m_tspType = nullptr;
    QPushButton* m_start = nullptr;
    QPushButton* m_stop = nullptr;
    QLabel* m_tq = nullptr;
    QLabel* m_n1 = nullptr;
    QLabel* m_t1 = nullptr;
    QLabel* m_n2 = nullptr;
    TFloatEdit* m_temp = nullptr;
    QLabel* m_volMassLabel = nullptr;
    TFloatEdit* m_volMass = nullptr;
    QPushButton* m_toPackage = nullptr;
    QTimer* m_timer = nullptr;
};
