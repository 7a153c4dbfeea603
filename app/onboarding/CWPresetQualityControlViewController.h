// The configuration popover of the high/low quality presets: two radio buttons, "Highest Quality" and
// "Lowest Quality", bound to the preset's stored choice (kept per preset class in the user defaults, so
// it survives restarts). A new controller is made each time the popover opens; every change goes
// straight to the preset. Shown as a popup window, opaque, with the frame and shadow edge of the
// style's menus, named for assistive technology ("Quality"); closed() is the popover's "did close".
//
// Main thread. The preset is shared with the project; the widget is owned by whoever shows it (it
// deletes itself when closed).
#pragma once

#include <QFrame>

#include <memory>

class CWHighLowQualityPreset;
class QRadioButton;

class CWPresetQualityControlViewController : public QFrame {
    Q_OBJECT
public:
    explicit CWPresetQualityControlViewController(std::shared_ptr<CWHighLowQualityPreset> preset, QWidget* parent = nullptr);
    void selectHigh(bool high);
    void changeQuality();
    QRadioButton* highestButton() const { return highestButton_; }
    QRadioButton* lowestButton() const { return lowestButton_; }
    // Shows it as a popup whose left edge touches the anchor's right edge.
    void showRelativeTo(QWidget* anchor);

signals:
    void closed();

protected:
    void hideEvent(QHideEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    std::shared_ptr<CWHighLowQualityPreset> preset_;
    QRadioButton* highestButton_;
    QRadioButton* lowestButton_;
};
