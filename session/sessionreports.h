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
    // In place of GetLastError's box: `reason` is the server's words or what
    // happened, never the password.
    virtual void operationFailed(SessionStep step, const QString &reason) = 0;
    // In place of the listing's "Connection failed." box.
    virtual void listingConnectFailed() = 0;
};
