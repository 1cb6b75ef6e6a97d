#pragma once

// Delivering a prepared request: the checks that need no server, reading the attachment,
// composing, and the conversation. Runs on a worker thread.

#include "mail/MailRequest.h"
#include "mail/Smtp.h"

#include "mail/Cancel.h"

namespace kr {

// A mass mailing goes out in messages of at most this many envelope recipients.
inline constexpr int kMassMailingBatch = 50;

SendOutcome DeliverRequest(const MailRequest& request, Cancel& abort);

} // namespace kr
