function finish() {
  try { window.external.WD_JAPI('closedBox'); } catch (e) {}
}
