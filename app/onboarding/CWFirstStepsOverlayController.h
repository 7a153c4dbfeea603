// The introduction: an overlay over the whole document window that walks through the eight steps (Qt
// resources ":/introduction/Step-…​.md", in tour order; a missing or unreadable one is skipped), each
// explaining one control and pointing at it with an arrow; "Next Step" / "Finish", Previous from the
// second step, "1 / 8". Controls are found depth first by object name; toolbar steps by the toolbar's
// widget for the action of that name (the top-right mark when there is none). Escape, Finish and the
// window's Hide Introduction close it, which deactivated() announces.
//
// Main thread. Owned by the window (a child object); its widgets are children of the window, removed
// when it closes. Every opening loads the steps afresh; nothing is kept between openings.
#pragma once

#include <QObject>
#include <QPointer>

#include <memory>
#include <vector>

class CWIntroductionStep;
class CWOverlayHostView;
class QLabel;
class QMainWindow;
class QPushButton;
class QWidget;

class CWFirstStepsOverlayController : public QObject {
    Q_OBJECT
public:
    static const std::vector<QString>& stepResources();
    static CWFirstStepsOverlayController* controllerForView(QMainWindow* window);
    ~CWFirstStepsOverlayController() override;

    void deactivate();
    void navigateBy(int delta);
    void navigateForward() { navigateBy(1); }
    void navigateBackward() { navigateBy(-1); }
    int currentStep() const { return currentStep_; }
    const std::vector<std::shared_ptr<CWIntroductionStep>>& allIntroductionSteps() const { return steps_; }
    // Replaces the steps (tests); the tour starts again at the first.
    void useSteps(std::vector<std::shared_ptr<CWIntroductionStep>> steps);

    static QWidget* findControl(const QString& identifier, QWidget* view);
    static QWidget* findToolbarItem(const QString& identifier, QWidget* view);

    CWOverlayHostView* hostView() const { return hostView_; }
    QLabel* descriptionView() const { return descriptionView_; }
    QPushButton* previousButton() const { return previousButton_; }
    QPushButton* nextButton() const { return nextButton_; }
    QLabel* progressField() const { return progressField_; }
    QWidget* backgroundBox() const { return backgroundBox_; }
    QWidget* topRightDot() const { return topRightDot_; }

signals:
    // CWFirstStepsOverlayControllerDeactivated
    void deactivated();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit CWFirstStepsOverlayController(QMainWindow* window);
    void loadIntroductions();
    void updateNavigation();
    void updateTargetControlArrowAndMessage();
    void layoutOverlay();

    QMainWindow* window_;
    CWOverlayHostView* hostView_ = nullptr;
    QWidget* backgroundBox_ = nullptr;
    QLabel* descriptionView_ = nullptr;
    QPushButton* previousButton_ = nullptr;
    QPushButton* nextButton_ = nullptr;
    QLabel* progressField_ = nullptr;
    QWidget* topRightDot_ = nullptr;
    std::vector<std::shared_ptr<CWIntroductionStep>> steps_;
    int currentStep_ = 0;
    bool active_ = false;
};
