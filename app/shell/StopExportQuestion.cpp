#include "StopExportQuestion.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QPushButton>

QPointer<QMessageBox> StopExportQuestion::ask(QWidget* parent, const QString& text, const QString& stopLabel, std::function<void()> stop)
{
    auto* box = new QMessageBox(QMessageBox::Warning, QString(), text, QMessageBox::NoButton, parent);
    box->setObjectName(QStringLiteral("stopExportQuestion"));
    box->setInformativeText(QCoreApplication::translate("StopExportQuestion", "What the export has written so far is removed."));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
    QPushButton* stopButton = box->addButton(stopLabel, QMessageBox::DestructiveRole);
    QPushButton* continueButton =
        box->addButton(QCoreApplication::translate("StopExportQuestion", "Continue Exporting"), QMessageBox::RejectRole);
    box->setDefaultButton(continueButton);
    box->setEscapeButton(continueButton);
    QObject::connect(box, &QMessageBox::buttonClicked, box, [stopButton, stop = std::move(stop)](QAbstractButton* clicked) {
        if (clicked == stopButton)
            stop();
    });
    box->open();
    return box;
}
