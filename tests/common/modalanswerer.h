#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>

// Answers modal boxes and dialogs while a test waits for them, so that no test hangs on one.
// Every modal widget that comes up is recorded (title and, for message boxes, text) and handed to
// `answer`, which may fill it in and close it; by default it is rejected. The recorded text is a
// message box's text or an input dialog's label.
class ModalAnswerer : public QObject
{
public:
    struct Seen
    {
        QString className;
        QString title;
        QString text;
    };

    explicit ModalAnswerer(std::function<void(QWidget *)> answer = {}, QObject *parent = nullptr)
        : QObject(parent), answer(std::move(answer))
    {
        timer.setInterval(10);
        QObject::connect(&timer, &QTimer::timeout, this, [this] { poll(); });
        timer.start();
    }

    void setAnswer(std::function<void(QWidget *)> newAnswer) { answer = std::move(newAnswer); }

    QList<Seen> seen;

    // Presses the message box button with the given role, or rejects any other dialog.
    static void press(QWidget *widget, QMessageBox::StandardButton button)
    {
        if (auto *box = qobject_cast<QMessageBox *>(widget)) {
            if (QAbstractButton *b = box->button(button)) {
                b->click();
                return;
            }
        }
        if (auto *dialog = qobject_cast<QDialog *>(widget))
            dialog->reject();
    }

private:
    void poll()
    {
        // A dialog counts as answered while it stays open; shown again later, it is answered again.
        handled.removeIf([](const QPointer<QWidget> &widget) { return !widget || !widget->isVisible(); });
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || handled.contains(modal))
            return;
        handled.append(modal);
        Seen entry{QString::fromLatin1(modal->metaObject()->className()), modal->windowTitle(), QString()};
        if (auto *box = qobject_cast<QMessageBox *>(modal))
            entry.text = box->text();
        else if (auto *input = qobject_cast<QInputDialog *>(modal))
            entry.text = input->labelText();
        seen.append(entry);
        if (answer) {
            answer(modal);
        } else if (auto *dialog = qobject_cast<QDialog *>(modal)) {
            dialog->reject();
        }
    }

    std::function<void(QWidget *)> answer;
    QTimer timer;
    QList<QPointer<QWidget>> handled;
};
