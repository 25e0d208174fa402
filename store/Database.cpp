#include "net/MyDAO.h"

// First cut: the operations exist so that callers link; the statements follow.

bool MyDAO::openDatabase() { return false; }
bool MyDAO::createTables() { return false; }
void MyDAO::purgeRetiredAssets() {}
void MyDAO::cleanWorkFiles(int) {}
void MyDAO::closeDatabase() {}
QList<RecentLogin> MyDAO::loadRecentLogins() { return {}; }
bool MyDAO::saveLogin(const RecentLogin&, const QString&) { return false; }
void MyDAO::forgetRememberedKey(const QString&) {}
void MyDAO::clearLogins() {}
bool MyDAO::saveAssetForm(AssetFormData&, bool) { return false; }
bool MyDAO::updateAssetForm(AssetFormData&, bool) { return false; }
bool MyDAO::loadAsset(int, AssetFormData&) { return false; }
QList<AssetFormData> MyDAO::loadPendingAssets() { return {}; }
bool MyDAO::deleteAsset(int, const QString&) { return false; }
void MyDAO::updateUploadProgress(const UploadFile&, const QString&) {}
bool MyDAO::retireSubmittedAsset(const AssetFormData&) { return false; }
QString MyDAO::databasePath() { return QString(); }
bool MyDAO::databaseLooksSound() { return false; }
bool MyDAO::moveDamagedDatabaseAside() { return false; }
void MyDAO::reportSqlError(const QString&, const QString&) {}
