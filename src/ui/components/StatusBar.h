#pragma once

#include <QStatusBar>
#include <QString>

#include <vector>

class QLabel;

// A status bar divided into numbered text panels, left to right. Panel i is
// at least the given width; the last panel takes the rest of the bar.
class TStatusBar : public QStatusBar {
    Q_OBJECT
public:
    explicit TStatusBar(QWidget* parent = nullptr);

    int PanelCount() const { return static_cast<int>(m_panels.size()); }
    void SetPanelCount(int n);
    QString PanelText(int index) const;
    void SetPanelText(int index, const QString& text);
    void SetPanelWidth(int index, int pixels);
    QLabel* Panel(int index) const { return m_panels[index]; }

private:
    std::vector<QLabel*> m_panels;
};
