#pragma once

#include <QString>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>

class FrameLog;
class FrameTableModel;
class QCheckBox;
class QLabel;
class QPushButton;
class QTableView;
class QTimer;

// "Журнал обмена": the frames a device worker sent and received on one
// port, live, newest last, faults in red. It reads the port's frame log
// five times a second while it is shown and not paused; the log itself goes
// on whether anybody looks or not.
class ExchangeLogWindow final : public QWidget {
    Q_OBJECT
public:
    // The program's one exchange log window, made on first use as a window
    // of `from`'s window, brought up showing `port` (a name of the port
    // list; empty: no port).
    static ExchangeLogWindow* ShowFor(const QString& port, QWidget* from);

    explicit ExchangeLogWindow(QWidget* parent = nullptr);
    ~ExchangeLogWindow() override;

    // Shows the frames of another port: the list starts again with what
    // that port's log holds.
    void SetPort(const QString& port);
    const QString& port() const { return m_port; }

    // Takes the frames recorded since the last look, unless paused; the
    // timer calls it five times a second.
    void Refresh();

    // The selected lines as text, one per line (what "Копировать" puts on
    // the clipboard).
    QString SelectedText() const;
    // Writes the lines shown, with a header line: tab-separated text, or
    // CSV with ";" between fields. False with `error` set when the file
    // cannot be written (the old file, if any, stays).
    bool SaveTo(const QString& path, bool csv, QString* error) const;

    FrameTableModel& model() { return *m_model; }
    QTableView* view() const { return m_view; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void BuildControls();
    void Copy();
    void Save();
    void ShowCount();

    QString m_port;
    std::shared_ptr<FrameLog> m_log;
    std::uint64_t m_lastSeq = 0;

    FrameTableModel* m_model = nullptr;
    QTimer* m_timer = nullptr;
    QLabel* m_portLabel = nullptr;
    QLabel* m_count = nullptr;
    QPushButton* m_pause = nullptr;
    QPushButton* m_clear = nullptr;
    QCheckBox* m_faultsOnly = nullptr;
    QPushButton* m_copy = nullptr;
    QPushButton* m_save = nullptr;
    QTableView* m_view = nullptr;
};

// The name of the port at 1-based position `position` of the program's port
// list; empty for 0 ("-------") or a position beyond it.
QString PortNameAt(int position);

// The "Журнал обмена" button of a page's port row: opens the exchange log
// window on the port `port` names when clicked (an empty name: no port).
QPushButton* MakeExchangeLogButton(QWidget* parent, std::function<QString()> port);
