// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "register.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <mutex>
#include <optional>

// Who adds rows to the register, and the chain its rows make: one user of
// one PC (the console and the command line alike), or a station.  Each
// writer has an Ed25519 key pair of its own, made the first time, in the
// user's settings folder (the private key readable by its owner only), and
// keeps its chain's head there; rows are linked one process at a time.
namespace tessal::reg {

// The SHA-256 of a row's content in its writer's chain after `prev`, in
// lower-case hex.
QString link_hash(const Row& row, const QString& writer, int seq, const QString& prev);
// The writer of the rows a register held before it chained its rows: they
// begin a chain of their own, made when it was brought up to date.
inline constexpr char kBeforeTheChain[] = "(before the chain)";

// The `prev` of a writer's first row.
const QString& first_prev();

// What a checkpoint's signature covers.
QByteArray signed_text(const Checkpoint& checkpoint);
// Whether `checkpoint` is signed with the key whose public half is
// `public_key` (32 bytes).
bool signed_by(const Checkpoint& checkpoint, const QByteArray& public_key);

// A public key as a line of a key file: the writer, a tab, the key in
// base64; and such a line read back (nothing when it is not one).
QString key_line(const QString& writer, const QByteArray& public_key);
std::optional<NamedKey> read_key_line(const QString& line);
// A checkpoint as a line of a checkpoint file: the writer, its number, the
// hash, the time and the signature, a tab between them; and read back.
QString checkpoint_line(const Checkpoint& checkpoint);
std::optional<Checkpoint> read_checkpoint_line(const QString& line);

class Writer {
  public:
    // The writer of the operating-system user on `station` (the PC's or the
    // station's name; empty: the machine's host name).  Its name is
    // "user@station/" and the first eight hex digits of its public key's
    // SHA-256: a key made anew is a writer anew, never a second chain
    // under one name.  Nothing, with the reason, when its key can be
    // neither read nor made.
    static std::unique_ptr<Writer> of_user(const QString& station, QString& error);

    const QString& name() const { return name_; }
    const QByteArray& public_key() const { return public_key_; }
    // The file that holds the public key as a key line, for the owner of
    // the register to trust.
    const QString& public_key_file() const { return public_file_; }

    // Gives the row (its id and instant already its own) the next place in
    // the writer's chain in the register `target` (as rows waiting for it
    // name it: each register holds a chain of the writer's own) and keeps
    // the new head; false, with the reason, when the head cannot be kept
    // (the row then stays in no chain).
    bool link(Row& row, const QString& target, QString& error);
    // The head of its chain in `target`, signed now; nothing before the
    // writer's first row there.
    std::optional<Checkpoint> sign_head(const QString& target, QString& error);

  private:
    Writer() = default;
    struct Head {
        int seq = 0;
        QString hash;
    };
    QString head_file(const QString& target) const;
    std::optional<Head> read_head(const QString& file, QString& error) const;
    bool keep_head(const QString& file, const Head& head, QString& error) const;

    QString name_;
    QByteArray private_key_; // the 32-byte seed
    QByteArray public_key_;
    QString stem_; // the writer's files, but for their endings
    QString public_file_;
    std::mutex mutex_; // the writer's threads, one at a time
};

} // namespace tessal::reg
