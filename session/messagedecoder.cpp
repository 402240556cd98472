#include "session/messagedecoder.h"

// Placeholder until the GMime decoder lands.
ImapEmail decodeMessage(const QByteArray &)
{
    return ImapEmail();
}
