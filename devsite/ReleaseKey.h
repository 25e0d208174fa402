#pragma once

#include <QByteArray>

// devsite's test release key (release-test-key.pem, compiled in). Builds for tests and the demo
// trust its public half, so the programs devsite publishes install there and nowhere else.
namespace ReleaseKey {

// The Ed25519 signature of data (64 bytes; empty if signing failed).
QByteArray sign(const QByteArray& data);

} // namespace ReleaseKey
