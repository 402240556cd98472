#include "session/imapclient.h"
#include "session/tlsimapclient.h"

std::unique_ptr<ImapClient> createImapClient(const ImapClientOptions &options)
{
    return std::make_unique<TlsImapClient>(options);
}
