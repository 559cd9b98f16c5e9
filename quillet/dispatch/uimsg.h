#pragma once

#include <QObject>
#include <QString>

#include <functional>

// One blocking job of the pass-through tool: a function run on the
// dispatcher thread that reports progress through State and its result
// through Complete. The message lives on the window's thread, so both
// signals reach the window queued.
class UiMsg : public QObject {
    Q_OBJECT
public:
    using Job = std::function<int(UiMsg*)>;

    explicit UiMsg(Job job, QObject* parent = nullptr);
    ~UiMsg() override;

    // Runs the job and emits Complete with its result; an empty job or one
    // that throws completes with -1.
    void Run();

signals:
    void State(bool, QString);
    void Complete(int code);

private:
    Job m_job;
};
