// SPDX-License-Identifier: Apache-2.0
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
        modal->installEventFilter(this);
        Seen entry{QString::fromLatin1(modal->metaObject()->className()), modal->windowTitle(), QString()};
        if (auto *box = qobject_cast<QMessageBox *>(modal))
            entry.text = box->text();
        else if (auto *input = qobject_cast<QInputDialog *>(modal))
            entry.text = input->labelText();
        seen.append(entry);
        // Answered from an event of its own: an answer that opens another modal dialog must not
        // block this polling timer, which would then never see that dialog.
        QTimer::singleShot(0, this, [this, widget = QPointer<QWidget>(modal)] {
            if (!widget)
                return;
            if (answer)
                answer(widget);
            else if (auto *dialog = qobject_cast<QDialog *>(widget.data()))
                dialog->reject();
        });
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        // Hidden, even if shown again before the next poll, a dialog is due for a new answer.
        if (event->type() == QEvent::Hide) {
            handled.removeAll(static_cast<QWidget *>(watched));
            watched->removeEventFilter(this);
        }
        return QObject::eventFilter(watched, event);
    }

    std::function<void(QWidget *)> answer;
    QTimer timer;
    QList<QPointer<QWidget>> handled;
};
