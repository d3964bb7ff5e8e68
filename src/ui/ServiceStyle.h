#pragma once

#include <QProxyStyle>

// The program's style: the platform's own, except that the arrows of the
// menu bar's and tool bar's extension buttons are drawn rather than read
// from the style's image files. Reading the first such file makes Qt load
// every image format plug-in to probe it, all before the main window can
// first paint; the two buttons are made with the window.
class ServiceStyle : public QProxyStyle {
public:
    QIcon standardIcon(StandardPixmap icon, const QStyleOption* option = nullptr,
                       const QWidget* widget = nullptr) const override;
};
