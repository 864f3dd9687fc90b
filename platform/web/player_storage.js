// Remember mode in the browser (index.html?remember, ?remember&forget): the player's directory
// /player lives in the page's IndexedDB through emscripten's IDBFS. The store is read into it
// before the game starts, and the directory is written back after every save of the population.
//
// A save is whole or not at all: IDBFS writes all the changes of one sync in one IndexedDB
// transaction, so the store keeps the previous save until the new one, and the renames that
// set old saves aside, are in it together.
Module.qfPlayer = { remember: false, forget: false, loaded: false, problem: '', saves: 0,
                    syncing: false, again: false };
Module.preRun = Module.preRun || [];
Module.preRun.push(function () {
  var p = Module.qfPlayer;
  var params = new URLSearchParams(location.search);
  p.remember = params.has('remember');
  if (!p.remember) return;
  p.forget = params.has('forget');
  if (p.forget && history.replaceState) {
    // A reload goes on with the new population instead of forgetting again.
    params.delete('forget');
    history.replaceState(null, '', location.pathname + '?' + params.toString() + location.hash);
  }
  FS.mkdir('/player');
  try {
    FS.mount(IDBFS, {}, '/player');
  } catch (e) {
    p.problem = String(e);
    return;
  }
  addRunDependency('qf-player');
  FS.syncfs(true, function (err) {
    // Never written back when it could not be read: the store would lose what it holds.
    if (err) p.problem = String(err.message || err);
    else p.loaded = true;
    removeRunDependency('qf-player');
  });
});

Module.qfPlayer.keep = function () {
  var p = Module.qfPlayer;
  if (!p.loaded) return;
  if (p.syncing) {  // one sync at a time; the next one takes every change since
    p.again = true;
    return;
  }
  p.syncing = true;
  FS.syncfs(false, function (err) {
    p.syncing = false;
    if (err) console.error('quillfrost: the population cannot be kept in the page\'s storage (' +
                           (err.message || err) + '); the last save there stays as it was');
    else p.saves += 1;
    if (p.again) {
      p.again = false;
      p.keep();
    }
  });
};
