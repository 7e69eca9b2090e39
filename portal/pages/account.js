function say(text) { document.getElementById('status').innerHTML = text; }
function bind() {
  try { window.external.WD_JAPI('AccountBindSuccess', 'ok'); say('绑定成功！'); }
  catch (e) { say('请在客户端中绑定'); }
}
function registerAccount() {
  try { window.external.WD_JAPI('AccountRegisterSuccess', 'ok'); say('注册成功！'); }
  catch (e) { say('请在客户端中注册'); }
}
function closePage() {
  try { window.external.WD_JAPI('CloseBindPage', ''); } catch (e) {}
}
