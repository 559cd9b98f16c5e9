#include "quillet/dispatch/uimsg.h"

UiMsg::UiMsg(Job job, QObject* parent)
    : QObject(parent)
    , m_job(std::move(job))
{
}

UiMsg::~UiMsg() = default;

void UiMsg::Run()
{
    int result = -1;
    try {
        if (m_job)
            result = m_job(this);
    } catch (...) {
        result = -1;
    }
    emit Complete(result);
}
