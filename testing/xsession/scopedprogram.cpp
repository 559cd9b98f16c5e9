#include "testing/xsession/scopedprogram.h"

namespace TestX {

namespace {

constexpr int kStartTimeoutMs = 10000;
constexpr int kEndTimeoutMs = 10000;

} // namespace

ScopedProgram::ScopedProgram(const QString& program, const QStringList& arguments,
                             const QProcessEnvironment& environment)
{
    m_process.setProcessEnvironment(environment);
    m_process.setProcessChannelMode(QProcess::ForwardedChannels);
    m_process.start(program, arguments);
    m_process.waitForStarted(kStartTimeoutMs);
}

ScopedProgram::~ScopedProgram()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(kEndTimeoutMs)) {
        m_process.kill();
        m_process.waitForFinished(kEndTimeoutMs);
    }
}

} // namespace TestX
