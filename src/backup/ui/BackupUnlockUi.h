#pragma once

// Installs the password check of BackupManifest::setPasscode that runs the key derivation in a
// worker thread under a progress dialog that cannot be cancelled. Called once at start-up.
namespace BackupUnlockUi
{
void install();
}
