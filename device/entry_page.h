// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "register/book.h"

#include <QString>

namespace tessal::device {

// An entry of the service book as the paper the shop that owns the device
// keeps: an A4 page in a PDF file with the company, the technician and his
// authorisation, the device, when and what was done, the seals, every value
// changed (a secret only as changed), the verdict, the entry's number and
// lines for the technician's and the customer's signatures.  False, with
// the reason, when the file cannot be written.
bool write_entry_page(const reg::Entry& entry, const QString& file, QString& error);

// A few words of the book as a person reads them: a date and time of the
// register as "08.12.2026. 10:00", a kind of work and a verdict in the
// window's words, a change as "ftp.user: tech -> ana".
QString book_time(const QString& time);
QString kind_words(const QString& kind);
QString verdict_words(const reg::Entry& entry);
QString before_text(const reg::Change& change);
QString after_text(const reg::Change& change);

} // namespace tessal::device
