#include "CWFirstStepsOverlayController.h"

#include "CWColors.h"
#include "CWIntroductionStep.h"
#include "CWOverlayHostView.h"

#include <QEvent>
#include <QFile>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMainWindow>
#include <QPainter>
#include <QPushButton>
#include <QToolBar>
#include <QVBoxLayout>

namespace {

// The box around the text and the buttons: the window background at alpha 0.8, corners of radius 3.
class DescriptionBox : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QColor background = palette().color(QPalette::Window);
        background.setAlphaF(0.8f);
        painter.setPen(Qt::NoPen);
        painter.setBrush(background);
        painter.drawRoundedRect(QRectF(rect()), 3, 3);
    }
};

// The mark near the top right that toolbar steps point at when their item cannot be found.
class TopRightDot : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(CWColors::systemYellow(palette()));
        painter.drawEllipse(QRectF(rect()));
    }
};

} // namespace

const std::vector<QString>& CWFirstStepsOverlayController::stepResources()
{
    static const std::vector<QString> names{
        QStringLiteral(":/introduction/Step-1-Timeline.md"),   QStringLiteral(":/introduction/Step-2-RemoveAll.md"),
        QStringLiteral(":/introduction/Step-3-Keep-All.md"),   QStringLiteral(":/introduction/Step-4-Add-Cut.md"),
        QStringLiteral(":/introduction/Step-5-Remove-Cut.md"), QStringLiteral(":/introduction/Step-6-Split.md"),
        QStringLiteral(":/introduction/Step-7-Export.md"),     QStringLiteral(":/introduction/Step-8-Export-Parts.md"),
    };
    return names;
}

CWFirstStepsOverlayController* CWFirstStepsOverlayController::controllerForView(QMainWindow* window)
{
    auto* controller = new CWFirstStepsOverlayController(window);
    controller->loadIntroductions();
    return controller;
}

CWFirstStepsOverlayController::CWFirstStepsOverlayController(QMainWindow* window) : QObject(window), window_(window)
{
    backgroundBox_ = new DescriptionBox;
    backgroundBox_->setObjectName(QStringLiteral("backgroundBox"));
    descriptionView_ = new QLabel;
    descriptionView_->setObjectName(QStringLiteral("descriptionView"));
    descriptionView_->setTextFormat(Qt::RichText);
    descriptionView_->setWordWrap(true);
    descriptionView_->setFixedWidth(360);
    previousButton_ = new QPushButton(tr("Previous"));
    previousButton_->setObjectName(QStringLiteral("previousButton"));
    nextButton_ = new QPushButton(tr("Next Step"));
    nextButton_->setObjectName(QStringLiteral("nextButton"));
    nextButton_->setDefault(true);
    progressField_ = new QLabel;
    progressField_->setObjectName(QStringLiteral("progressField"));
    connect(previousButton_, &QPushButton::clicked, this, &CWFirstStepsOverlayController::navigateBackward);
    connect(nextButton_, &QPushButton::clicked, this, &CWFirstStepsOverlayController::navigateForward);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(progressField_);
    buttons->addStretch();
    buttons->addWidget(previousButton_);
    buttons->addWidget(nextButton_);
    auto* box = new QVBoxLayout(backgroundBox_);
    box->setContentsMargins(14, 12, 14, 12);
    box->addWidget(descriptionView_);
    box->addLayout(buttons);

    hostView_ = new CWOverlayHostView(window, backgroundBox_, descriptionView_);
    backgroundBox_->setParent(hostView_);
    topRightDot_ = new TopRightDot(hostView_);
    topRightDot_->setObjectName(QStringLiteral("topRightDot"));
    topRightDot_->setFixedSize(10, 10);
    hostView_->setFocusPolicy(Qt::StrongFocus);
    hostView_->installEventFilter(this);
    window_->installEventFilter(this);
    layoutOverlay();
    hostView_->show();
    hostView_->raise();
    hostView_->setFocus(); // so that Escape reaches it
    active_ = true;
}

CWFirstStepsOverlayController::~CWFirstStepsOverlayController()
{
    if (window_)
        window_->removeEventFilter(this);
    delete hostView_;
}

void CWFirstStepsOverlayController::loadIntroductions()
{
    std::vector<std::shared_ptr<CWIntroductionStep>> steps;
    for (const QString& resource : stepResources())
        if (QFile::exists(resource))
            if (std::shared_ptr<CWIntroductionStep> step = CWIntroductionStep::fromFile(resource))
                steps.push_back(std::move(step));
    useSteps(std::move(steps));
}

void CWFirstStepsOverlayController::useSteps(std::vector<std::shared_ptr<CWIntroductionStep>> steps)
{
    steps_ = std::move(steps);
    currentStep_ = 0;
    navigateBy(0);
}

void CWFirstStepsOverlayController::navigateBy(int delta)
{
    if (!active_ && delta != 0)
        return;
    currentStep_ += delta;
    if (currentStep_ >= int(steps_.size())) {
        deactivate();
        return;
    }
    currentStep_ = std::max(0, currentStep_);
    updateTargetControlArrowAndMessage();
    updateNavigation();
}

void CWFirstStepsOverlayController::updateNavigation()
{
    const int count = int(steps_.size());
    nextButton_->setText(currentStep_ < count - 1 ? tr("Next Step") : tr("Finish"));
    previousButton_->setEnabled(currentStep_ >= 1);
    progressField_->setText(tr("%1 / %2").arg(currentStep_ + 1).arg(count));
}

QWidget* CWFirstStepsOverlayController::findControl(const QString& identifier, QWidget* view)
{
    if (!view)
        return nullptr;
    if (view->objectName() == identifier)
        return view;
    for (QObject* child : view->children())
        if (auto* widget = qobject_cast<QWidget*>(child))
            if (QWidget* found = findControl(identifier, widget))
                return found;
    return nullptr;
}

QWidget* CWFirstStepsOverlayController::findToolbarItem(const QString& identifier, QWidget* view)
{
    auto* window = qobject_cast<QMainWindow*>(view ? view->window() : nullptr);
    if (!window)
        return nullptr;
    for (QToolBar* toolbar : window->findChildren<QToolBar*>()) {
        if (!toolbar->isVisible())
            continue;
        for (QAction* action : toolbar->actions()) {
            if (action->objectName() != identifier || !action->isVisible())
                continue;
            if (QWidget* shown = toolbar->widgetForAction(action); shown && shown->isVisible())
                return shown;
        }
    }
    return nullptr;
}

void CWFirstStepsOverlayController::updateTargetControlArrowAndMessage()
{
    if (steps_.empty() || currentStep_ < 0 || currentStep_ >= int(steps_.size()))
        return;
    const CWIntroductionStep& step = *steps_[size_t(currentStep_)];
    QWidget* target = nullptr;
    if (!step.controlIdentifier().isEmpty()) {
        if (step.isToolbarItem()) {
            target = findToolbarItem(step.controlIdentifier(), window_);
            if (!target)
                target = topRightDot_;
        } else {
            target = findControl(step.controlIdentifier(), window_);
        }
    }
    hostView_->showMessage(step.richDescription(), target);
    layoutOverlay();
}

void CWFirstStepsOverlayController::layoutOverlay()
{
    if (!hostView_ || !window_)
        return;
    hostView_->setGeometry(window_->rect());
    backgroundBox_->adjustSize();
    // The box in the middle of the upper half, clear of the toolbar and the strip.
    backgroundBox_->move((hostView_->width() - backgroundBox_->width()) / 2,
                         std::max(60, hostView_->height() / 4 - backgroundBox_->height() / 2));
    topRightDot_->move(hostView_->width() - 24, 64); // under the toolbar's right end
    hostView_->update();
}

void CWFirstStepsOverlayController::deactivate()
{
    if (!active_)
        return;
    active_ = false;
    hostView_->hide();
    emit deactivated();
    deleteLater(); // takes the overlay's widgets with it
}

bool CWFirstStepsOverlayController::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == window_ && event->type() == QEvent::Resize)
        updateTargetControlArrowAndMessage(); // the arrow follows the window and its controls
    if (watched == hostView_ && event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        deactivate();
        return true;
    }
    return false;
}
