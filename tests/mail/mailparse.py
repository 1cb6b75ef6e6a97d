#!/usr/bin/python3
"""Reads one message or article as a mail reader would and prints what it found as JSON:
the raw header lines, the decoded headers, the text body and the attachments (base64)."""
import base64
import email
import email.policy
import json
import sys

raw = open(sys.argv[1], "rb").read()
if sys.argv[1].endswith(".json"):
    raw = base64.b64decode(json.loads(raw)["data"])
message = email.message_from_bytes(raw, policy=email.policy.default)
head = raw.split(b"\r\n\r\n", 1)[0].decode("ascii", "replace")
out = {
    "headerLines": head.split("\r\n"),
    "headers": {k: str(v) for k, v in message.items()},
    "defects": [str(d) for d in message.defects],
    "body": "",
    "attachments": [],
}
for part in message.walk():
    if part.is_multipart():
        continue
    if part.get_content_disposition() == "attachment":
        out["attachments"].append({
            "filename": part.get_filename(),
            "type": part.get_content_type(),
            "data": base64.b64encode(part.get_payload(decode=True)).decode(),
        })
    elif part.get_content_type() == "text/plain":
        out["body"] = part.get_content().replace("\r\n", "\n")
print(json.dumps(out))
