#include "app/program_arguments.h"

#include <cstdio>

namespace korvane {

std::optional<int> answerCommandLine(const CommandLine &line) {
    if (!line.error.isEmpty()) {
        std::fprintf(stderr, "korvane: %s\n", line.error.toLocal8Bit().constData());
        return 2;
    }
    if (line.help || line.version) {
        std::fputs((line.help ? usageText() : versionText()).toLocal8Bit().constData(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    return std::nullopt;
}

QtArguments::QtArguments(const char *program, const QStringList &arguments) {
    m_text.emplace_back(program);
    for (const QString &arg : arguments)
        m_text.push_back(arg.toLocal8Bit());
    for (QByteArray &text : m_text)
        m_pointers.push_back(text.data());
    m_pointers.push_back(nullptr);
    m_argc = static_cast<int>(m_text.size());
}

} // namespace korvane
