#include "modalanswer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

QString answerMessageBoxes(const std::function<void()> &action)
{
    QString firstText;
    bool seen = false;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        if (!seen) {
            firstText = box->text();
            seen = true;
        }
        QAbstractButton *button = box->defaultButton();
        if (!button)
            button = box->button(QMessageBox::Ok);
        if (button)
            button->click();
        else
            box->accept();
    });
    poll.start();
    action();
    return firstText;
}
