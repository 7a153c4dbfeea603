// The window's preset controls: the preset menu button, its configuration button, the preset's
// description, the bitrate, sample-rate and quality pop-ups (shown only for presets that offer them)
// and, for pass-through, the pop-up of how cuts are made (remembered as the preset's mode).
//
// The menu is rebuilt from the presets' compatibility answers, which are taken on the main thread in
// the order they arrive; a rebuild that starts before the last has finished does not mix their
// answers. Each finished build emits menuBuilt().
//
// Main thread. A child of the window, whose layout takes the widgets (row() and description()); the
// project is looked up through the function given, each time, so a closed document leaves nothing
// dangling. Widgets carry the object names the introduction looks for.
#pragma once

#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>
#include <vector>

class CWPresetConfigurationItem;
class CWProject;
struct CWPresetClass;
class QBoxLayout;
class QComboBox;
class QLabel;
class QToolButton;
class QWidget;

class CWPresetChooser : public QObject {
    Q_OBJECT
public:
    using Filter = std::function<bool(const CWPresetClass&)>;
    CWPresetChooser(QWidget* window, std::function<std::shared_ptr<CWProject>()> project, Filter include);

    QBoxLayout* row() const { return row_; } // the label, the buttons and the pop-ups
    QLabel* description() const { return description_; }
    QToolButton* button() const { return button_; }
    QToolButton* configurationButton() const { return configurationButton_; }
    QWidget* bitrateContainer() const { return bitrateContainer_; }
    QComboBox* bitratePopup() const { return bitratePopup_; }
    QWidget* sampleRateContainer() const { return sampleRateContainer_; }
    QComboBox* sampleRatePopup() const { return sampleRatePopup_; }
    QWidget* qualityContainer() const { return qualityContainer_; }
    QComboBox* qualityPopup() const { return qualityPopup_; }
    QWidget* passthroughModeContainer() const { return passthroughModeContainer_; }
    QComboBox* passthroughModePopup() const { return passthroughModePopup_; }
    QWidget* configurationPopover() const { return configurationPopover_; }

    void updateMenu();
    void buildMenu(const std::vector<const CWPresetClass*>& compatible);
    void updateInformation();
    void updateConfigurationUI();
    bool hasCompatiblePresets() const { return hasCompatiblePresets_; }
    int menuBuilds() const { return menuBuilds_; }

    void changePreset(const CWPresetClass* presetClass);
    void changeBitrate();
    void changePassthroughMode();
    void configure();

signals:
    void menuBuilt();

private:
    QWidget* labelled(const QString& label, QComboBox* popup, const char* name);

    QWidget* window_;
    std::function<std::shared_ptr<CWProject>()> project_;
    Filter include_;
    QBoxLayout* row_;
    QToolButton* button_;
    QToolButton* configurationButton_;
    QLabel* description_;
    QComboBox* bitratePopup_;
    std::vector<std::shared_ptr<CWPresetConfigurationItem>> bitrateItems_; // what the bitrate pop-up's items stand for
    QComboBox* sampleRatePopup_;
    QComboBox* qualityPopup_;
    QComboBox* passthroughModePopup_;
    QWidget* bitrateContainer_;
    QWidget* sampleRateContainer_;
    QWidget* qualityContainer_;
    QWidget* passthroughModeContainer_;
    QPointer<QWidget> configurationPopover_;
    bool hasCompatiblePresets_ = true;
    int menuBuilds_ = 0;
};
