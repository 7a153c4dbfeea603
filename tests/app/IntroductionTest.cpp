// The introduction: step files read as the format defines them (good, without a header, unbalanced,
// not UTF-8), Markdown through md4c, the tour over a real window (each step pointing at its control,
// toolbar steps at the toolbar's button, the navigation texts and states, Escape and Finish handing the
// window's item back), where the arrow meets a rectangle, and the arrow's head drawn at the control.
#include "CWBaseDocument.h"
#include "CWDocumentController.h"
#include "CWDocumentWindowController.h"
#include "CWFirstStepsOverlayController.h"
#include "CWIntroductionStep.h"
#include "CWOverlayHostView.h"
#include "CWPreset.h"
#include "MDRenderer.h"
#include "Player.h"
#include "support/TestMedia.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <QToolBar>

#include <gtest/gtest.h>

using namespace TestMedia;

namespace {

QString writeStep(const QTemporaryDir& folder, const char* name, const QByteArray& bytes)
{
    const QString path = folder.filePath(QString::fromLatin1(name));
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return path;
}

QString plainText(const QString& html)
{
    QTextDocument document;
    document.setHtml(html);
    return document.toPlainText().trimmed();
}

} // namespace

TEST(IntroductionStep, ReadsTheHeaderAndTheMarkdown)
{
    EXPECT_EQ(MDRenderer::render(QStringLiteral("# Hi\n\nSome *text*.")), QByteArray("<h1>Hi</h1>\n<p>Some <em>text</em>.</p>\n"));
    EXPECT_EQ(MDRenderer::render(QStringLiteral("~~not struck~~")), QByteArray("<p>~~not struck~~</p>\n")) << "plain CommonMark";

    EXPECT_EQ(CWIntroductionStep::jsonRangeInMarkdown(QStringLiteral("{\"a\": {\"b\": \"}\"}}\nrest")),
              std::make_pair(qsizetype(0), qsizetype(16)))
        << "braces in strings count too";
    EXPECT_EQ(CWIntroductionStep::jsonRangeInMarkdown(QStringLiteral("{\"a\": 1")), std::make_pair(qsizetype(0), qsizetype(0)));
    EXPECT_EQ(CWIntroductionStep::jsonRangeInMarkdown(QString()), std::make_pair(qsizetype(0), qsizetype(0)));

    QTemporaryDir folder;
    const auto good = CWIntroductionStep::fromFile(
        writeStep(folder, "good.md", "{\"control\": \"startButton\", \"type\": \"toolbar\"}\n## Export\n\nPress **Export**."));
    ASSERT_TRUE(good);
    EXPECT_EQ(good->controlIdentifier(), QLatin1String("startButton"));
    EXPECT_TRUE(good->isToolbarItem());
    EXPECT_EQ(plainText(good->richDescription()), QStringLiteral("Export\nPress Export."));
    EXPECT_TRUE(good->richDescription().contains(QGuiApplication::font().family())) << "the application font's family";
    const auto view = CWIntroductionStep::fromFile(writeStep(folder, "view.md", "{\"control\": \"splitViewHolder\"}\nText"));
    ASSERT_TRUE(view);
    EXPECT_FALSE(view->isToolbarItem());

    EXPECT_FALSE(CWIntroductionStep::fromFile(writeStep(folder, "bare.md", "## No header\n\nJust text.")));
    EXPECT_FALSE(CWIntroductionStep::fromFile(writeStep(folder, "open.md", "{\"control\": \"x\"\n## Never closed")));
    EXPECT_FALSE(CWIntroductionStep::fromFile(writeStep(folder, "bad.md", "{control: x}\nText")));
    EXPECT_FALSE(CWIntroductionStep::fromFile(writeStep(folder, "latin1.md", "{\"control\": \"x\"}\nCaf\xe9 cr\xe8me")));
    EXPECT_FALSE(CWIntroductionStep::fromFile(folder.filePath(QStringLiteral("missing.md"))));
}

TEST(OverlayArrow, MeetsTheRectangleOnTheLineToItsCentre)
{
    const QRectF box(100, 100, 200, 100); // centre (200, 150)
    EXPECT_EQ(CWOverlayHostView::pointOnRect(box, QPointF(150, 120)), QPointF(200, 150)) << "inside: the centre";
    EXPECT_EQ(CWOverlayHostView::pointOnRect(box, QPointF(0, 150)), QPointF(100, 150));
    EXPECT_EQ(CWOverlayHostView::pointOnRect(box, QPointF(400, 150)), QPointF(300, 150));
    EXPECT_EQ(CWOverlayHostView::pointOnRect(box, QPointF(200, 0)), QPointF(200, 100)) << "straight above: the slope is infinite";
    EXPECT_EQ(CWOverlayHostView::pointOnRect(box, QPointF(200, 300)), QPointF(200, 200));
    EXPECT_EQ(CWOverlayHostView::pointOnRect(box, QPointF(0, 50)), QPointF(100, 100)) << "through the corner";
    const QPointF above = CWOverlayHostView::pointOnRect(box, QPointF(250, 0)); // steep: the top side
    EXPECT_DOUBLE_EQ(above.y(), 100);
    EXPECT_DOUBLE_EQ(above.x(), 250 + (100 - 0) / ((150.0 - 0) / (200 - 250)));
}

TEST(Introduction, WalksThroughTheStepsOfARealWindow)
{
    CWPreset::registerStandardPresets();
    CWDocumentController controller;
    controller.setQuitHandler([] {});
    Error error;
    CWBaseDocument* document = controller.openDocumentWithContentsOfURL(h264WithBFrames(), &error);
    ASSERT_TRUE(document) << error.describe().toStdString();
    CWDocumentWindowController* window = document->windowControllers().front();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    ASSERT_TRUE(runEventLoopUntil([&] { return window->player()->status() == Player::Status::ReadyToPlay; }, 20000));
    EXPECT_EQ(window->introButton()->text(), QLatin1String("Show Introduction"));

    window->introButton()->trigger();
    CWFirstStepsOverlayController* tour = window->introController();
    ASSERT_TRUE(tour);
    EXPECT_EQ(window->introButton()->text(), QLatin1String("Hide Introduction"));
    ASSERT_EQ(tour->allIntroductionSteps().size(), 8u) << "all eight step files load";
    EXPECT_EQ(tour->progressField()->text(), QLatin1String("1 / 8"));
    EXPECT_FALSE(tour->previousButton()->isEnabled());
    EXPECT_EQ(tour->nextButton()->text(), QLatin1String("Next Step"));
    EXPECT_EQ(tour->hostView()->geometry(), window->rect()) << "over the whole window";

    // Every step points at a real control: views by name, toolbar items through the toolbar's button.
    auto* toolbar = window->findChild<QToolBar*>(QStringLiteral("toolbar"));
    for (int step = 0; step < 8; ++step) {
        const CWIntroductionStep& current = *tour->allIntroductionSteps()[size_t(step)];
        QWidget* target = tour->hostView()->currentControl();
        ASSERT_TRUE(target) << step;
        EXPECT_NE(target, tour->topRightDot()) << step;
        if (current.isToolbarItem())
            EXPECT_EQ(target, toolbar->widgetForAction(window->findChild<QAction*>(current.controlIdentifier()))) << step;
        else
            EXPECT_EQ(target->objectName(), current.controlIdentifier()) << step;
        EXPECT_EQ(plainText(tour->descriptionView()->text()), plainText(current.richDescription())) << step;
        if (step == 3) {
            // The arrow's head lies on the control's frame enlarged by 20, in the arrow colour.
            window->resize(1000, 700);
            QTest::qWait(50);
            const QImage shot = window->grab().toImage();
            const QPointF end = tour->hostView()->arrowEndInControl();
            const QRectF enlarged = tour->hostView()->globalTargetControlFrame().adjusted(-20, -20, 20, 20);
            EXPECT_TRUE(std::abs(end.x() - enlarged.left()) < 0.5 || std::abs(end.x() - enlarged.right()) < 0.5 ||
                        std::abs(end.y() - enlarged.top()) < 0.5 || std::abs(end.y() - enlarged.bottom()) < 0.5);
            const QColor arrow = tour->hostView()->arrowColor();
            const QColor atHead = shot.pixel(end.toPoint());
            EXPECT_NEAR(atHead.red(), arrow.red(), 40);
            EXPECT_NEAR(atHead.green(), arrow.green(), 40);
            EXPECT_NEAR(atHead.blue(), arrow.blue(), 40);
            QDir().mkpath(QCoreApplication::applicationDirPath() + QStringLiteral("/screenshots"));
            EXPECT_TRUE(shot.save(QCoreApplication::applicationDirPath() + QStringLiteral("/screenshots/introduction-step-4.png")));
        }
        if (step < 7)
            tour->nextButton()->click();
    }
    EXPECT_EQ(tour->progressField()->text(), QLatin1String("8 / 8"));
    EXPECT_EQ(tour->nextButton()->text(), QLatin1String("Finish"));
    EXPECT_TRUE(tour->previousButton()->isEnabled());
    tour->previousButton()->click();
    EXPECT_EQ(tour->progressField()->text(), QLatin1String("7 / 8"));
    tour->nextButton()->click();
    tour->nextButton()->click(); // Finish
    ASSERT_TRUE(runEventLoopUntil([&] { return !window->introController(); }));
    EXPECT_EQ(window->introButton()->text(), QLatin1String("Show Introduction"));

    // Escape closes it too; a missing toolbar item points at the top-right mark, a missing view nowhere.
    window->introButton()->trigger();
    tour = window->introController();
    ASSERT_TRUE(tour);
    QTemporaryDir folder;
    tour->useSteps({CWIntroductionStep::fromFile(writeStep(folder, "a.md", "{\"control\": \"noSuchItem\", \"type\": \"toolbar\"}\nA")),
                    CWIntroductionStep::fromFile(writeStep(folder, "b.md", "{\"control\": \"noSuchView\"}\nB"))});
    EXPECT_EQ(tour->hostView()->currentControl(), tour->topRightDot());
    tour->nextButton()->click();
    EXPECT_EQ(tour->hostView()->currentControl(), nullptr);
    EXPECT_EQ(plainText(tour->descriptionView()->text()), QLatin1String("B"));
    QTest::keyClick(tour->hostView(), Qt::Key_Escape);
    ASSERT_TRUE(runEventLoopUntil([&] { return !window->introController(); }));
    EXPECT_EQ(window->introButton()->text(), QLatin1String("Show Introduction"));
    controller.terminate();
    runEventLoopUntil([&] { return controller.documents().empty(); });
}
