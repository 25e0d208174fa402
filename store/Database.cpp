#include "net/MyDAO.h"

bool MyDAO::openDatabase() { return false; }
void MyDAO::purgeRetiredAssets() {}
void MyDAO::cleanWorkFiles(int) {}
void MyDAO::closeDatabase() {}
