#pragma once

#include <QLabel>

namespace kellix {

struct RunNotes;

// The one-line strip under the code box that lists the last run's warnings: the only one as
// it is, several counted, cut with "..." where the strip ends; the whole list, one warning a
// line, in its tooltip. Hidden while the run had none.
class DiagnosticsStrip : public QLabel {
    Q_OBJECT
  public:
    explicit DiagnosticsStrip(QWidget* parent = nullptr);

    void ShowNotes(const RunNotes& notes);
    // The strip's whole text, before it is cut to the strip's width.
    const QString& FullText() const { return full_; }

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void Fit();

    QString full_;
};

} // namespace kellix
