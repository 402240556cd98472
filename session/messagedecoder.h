#pragma once

#include <QByteArray>

#include "session/imapclient.h"

// Turns the raw bytes of one message (as BODY[] delivers them) into its
// decoded fields. Never fails: what cannot be read stays empty.
ImapEmail decodeMessage(const QByteArray &raw);
