#include "quillet/dispatch/uimsg.h"

#include "platform/dispatch/messagequeue.h"

UiMsg::UiMsg(Job job, QObject* parent)
    : QObject(parent)
    , m_job(std::move(job))
{
}

UiMsg::~UiMsg() = default;

void UiMsg::Run()
{
    emit Complete(platform::jobResult(m_job, this));
}
