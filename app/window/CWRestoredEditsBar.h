// The bar at the top of a window whose file's edits were put back when it opened ("Restored 3 cuts from
// 8 December"), with Discard (which removes them again, as an undoable step) and Keep (which only hides
// the bar). Main thread; a child of its window.
#pragma once

#include <QDateTime>
#include <QFrame>

class QLabel;
class QPushButton;

class CWRestoredEditsBar : public QFrame {
    Q_OBJECT
public:
    explicit CWRestoredEditsBar(QWidget* parent = nullptr);

    // Shows the bar for so many cuts and split points, kept at `saved`.
    void showRestored(int cuts, int splits, const QDateTime& saved);
    // "Restored 3 cuts from 8 December" ("… and 1 split …", the year when it is not this one's).
    static QString text(int cuts, int splits, const QDateTime& saved, const QDateTime& now);

    QLabel* label() const { return label_; }
    QPushButton* discardButton() const { return discard_; }
    QPushButton* keepButton() const { return keep_; }

signals:
    void discardRequested();

private:
    QLabel* label_;
    QPushButton* discard_;
    QPushButton* keep_;
};
