#include "net/MyDAO.h"

void MyDAO::parseLocalJSON() {}
