#pragma once

#include <QApplication>

/**
 * The program's application object. Its notify() is the one place where an exception that leaves an event
 * handler is shown (the standard error box) and the program goes on.
 */
class TSkyhaulApplication : public QApplication {
    Q_OBJECT
public:
    TSkyhaulApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;
};
