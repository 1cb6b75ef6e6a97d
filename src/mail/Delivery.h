#pragma once

// Delivering a prepared request: the checks that need no server, reading the attachment,
// composing, and the conversation. Runs on a worker thread.

#include "mail/Composer.h"
#include "mail/MailRequest.h"
#include "mail/Smtp.h"

#include "mail/Cancel.h"

namespace kr {

// A mass mailing goes out in messages of at most this many envelope recipients.
inline constexpr int kMassMailingBatch = 50;

SendOutcome DeliverRequest(const MailRequest& request, Cancel& abort);

// A mass mailing in batches: each batch goes to the members the server takes, the refused
// ones are named, what went is remembered, and the first failure of another kind ends it.
SendOutcome DeliverMassMailing(const MailRequest& request, const QList<Attachment>& attachments,
                               Transcript& transcript, Cancel& abort);

} // namespace kr
