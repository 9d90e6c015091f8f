#pragma once

#include <QDialog>

namespace kellix {

// Help > About: the program's name, version and what it is.
class TAboutBox : public QDialog {
    Q_OBJECT
  public:
    explicit TAboutBox(QWidget* parent = nullptr);
};

} // namespace kellix
