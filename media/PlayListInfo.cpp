#include "media/PlayListInfo.h"

void registerPlayListInfoType() {
    qRegisterMetaType<PLAY_LIST_INFO>("PLAY_LIST_INFO");
}
