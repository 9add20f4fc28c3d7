#include <QApplication>
#include <QDialogButtonBox>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <functional>

#include "util/QtDialogs.h"

using namespace trelwick;

// Drives the real dialogs offscreen: a timer finds the modal dialog once it is up and answers it.
class QtDialogsTest : public QObject {
    Q_OBJECT

    template <typename Dialog>
    void whenShown(std::function<void(Dialog*)> answer) {
        auto* timer = new QTimer(this);
        timer->setInterval(10);
        connect(timer, &QTimer::timeout, this, [timer, answer] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                if (auto* d = qobject_cast<Dialog*>(w); d && d->isVisible()) {
                    timer->stop();
                    timer->deleteLater();
                    answer(d);
                    return;
                }
            }
        });
        timer->start();
    }

  private slots:
    void messageBoxShowsLineBreaksAndNoMarkup() {
        QtDialogs dialogs;
        QString text, title;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        Qt::TextFormat format = Qt::AutoText;
        whenShown<QMessageBox>([&](QMessageBox* box) {
            text = box->text();
            title = box->windowTitle();
            icon = box->icon();
            format = box->textFormat();
            box->button(QMessageBox::Ok)->click();
        });
        const MessageResult r =
            dialogs.messageBox("Disk <b>full</b>\r\nin T at line 1\r\rPlease", "Application Error",
                               MessageButtons::Ok, MessageIcon::Warning);
        QCOMPARE(r, MessageResult::Ok);
        QCOMPARE(text, "Disk <b>full</b>\nin T at line 1\n\nPlease");
        QCOMPARE(title, "Application Error");
        QCOMPARE(icon, QMessageBox::Warning);
        QCOMPARE(format, Qt::PlainText);
    }

    void yesNoBoxGivesTheButtonPressed() {
        QtDialogs dialogs;
        for (const auto& [button, expected] : {std::pair{QMessageBox::Yes, MessageResult::Yes},
                                               std::pair{QMessageBox::No, MessageResult::No}}) {
            QMessageBox::Icon icon = QMessageBox::Warning;
            whenShown<QMessageBox>([&, b = button](QMessageBox* box) {
                icon = box->icon();
                box->button(b)->click();
            });
            QCOMPARE(dialogs.messageBox("Proceed?", "Trelwick", MessageButtons::YesNo, MessageIcon::None),
                     expected);
            QCOMPARE(icon, QMessageBox::NoIcon);
        }
    }

    void inputBoxGivesTheAnswerOrEmptyOnCancel() {
        QtDialogs dialogs;
        QString prefill;
        whenShown<QInputDialog>([&](QInputDialog* d) {
            prefill = d->textValue();
            d->setTextValue("pptx");
            d->accept();
        });
        QCOMPARE(dialogs.inputBox("Extension?", "Trelwick", "ppt"), "pptx");
        QCOMPARE(prefill, "ppt");
        whenShown<QInputDialog>([](QInputDialog* d) { d->reject(); });
        QCOMPARE(dialogs.inputBox("Extension?", "Trelwick", "ppt"), "");
    }
};

QTEST_MAIN(QtDialogsTest)
#include "QtDialogsTest.moc"
