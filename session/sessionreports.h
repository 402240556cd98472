#pragma once

#include <QString>

// The session operation a failure belongs to.
enum class SessionStep { Connect, Identify, Login, Select, List, Sizes };

// How a session tells its owner what failed. The window leaves it unset and
// the session shows its boxes; a front without a display (the command line)
// answers with text instead. Either way the session's own steps are the same.
class SessionReports
{
public:
    virtual ~SessionReports() = default;
    // In place of GetLastError's box: `reason` is the client's diagnostic.
    virtual void operationFailed(SessionStep step, const QString &reason) = 0;
    // In place of the listing's "Connection failed." box.
    virtual void listingConnectFailed() = 0;
    // A message of the listing's range that gave no message.
    virtual void messageNotListed(qint32 number, const QString &reason) = 0;
};
