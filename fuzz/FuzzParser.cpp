// Arguments (split at zero bytes) through the command-line parser and the time rule.
#include "CWCommandLineParser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QStringList arguments;
    for (const QByteArray& part : QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)).split('\0'))
        arguments << QString::fromUtf8(part);
    auto parser = CWCommandLineParser::parserWithArguments(arguments);
    for (const QString& argument : arguments) {
        const CMTime time = CWCommandLineParser::parseTimeString(argument);
        if (CMTIME_IS_VALID(time) && (time.timescale != 1000 || time.value < 0))
            __builtin_trap(); // times are valid milliseconds, never negative
    }
    (void)parser->inputFileURL();
    (void)parser->outputFileURL();
    return 0;
}
