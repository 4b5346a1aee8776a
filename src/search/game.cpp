#include "search/game.h"

ThreadBoard game;
