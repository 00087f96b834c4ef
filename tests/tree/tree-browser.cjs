// Applications of the tree driven in Debian's Chromium as a user would.
//   node tree-browser.cjs <steps> <playwright-core folder> <site URL> <profile folder> [arguments]
// adminer|phpmyadmin <.sql file> <database> <table>: log in as root without a
//   password, create a database, import the uploaded file and read the rows
//   of its table; prints "import: ..." and "row: a|b|..." per row seen.
// wordpress <title>: log in to WordPress at the site's root, write a post
//   with that title in the block editor and publish it, then open it by its
//   link; prints "saved: <status>" and "post: <its page's heading>".
// dashboard <site URL>: log in to WordPress at that site (a project's own
//   host) and open its admin; prints "dashboard: <the admin's URL>".
// permalinks: log in to WordPress, choose the plain "Day and name" preset
//   in Settings > Permalinks and save it, then open the first post by its
//   number; prints "preset: <its example URL>", "saved: <the notice>" and
//   "post: <status> <the path it was sent to>".
// dokuwiki: log in as DokuWiki's admin in /dokuwiki/ and open the admin
//   page; prints "security check: passed" or the warning it shows.
// hosts <name>...: opens each project at http://<name>.localhost:<port>/
//   twice (its page sets a cookie named after it); prints "<name>: <the
//   cookies its second page saw>".
// Exits 0, or 1 with what went wrong. A PHP warning, notice or error on a
// page is a failure.
const [steps, playwright, site, profile, ...args] = process.argv.slice(2);
const { chromium } = require(playwright);

const phpTrouble = /<b>(Warning|Notice|Deprecated|Fatal error|Parse error)<\/b>/;

// The page's text, once it is known to hold `text` and no PHP error.
async function expectText(page, text, step) {
  const body = await page.innerText('body');
  const trouble = (await page.content()).match(phpTrouble);
  if (trouble) throw new Error(`${step}: PHP ${trouble[1]} on ${page.url()}:\n${body}`);
  if (!body.includes(text)) throw new Error(`${step}: no "${text}" on ${page.url()}:\n${body}`);
  return body;
}

async function submit(page, selector) {
  await Promise.all([page.waitForNavigation(), page.click(selector)]);
}

// Adminer, reached from the welcome page's link; it reloads a page per step.
async function adminer(page, sqlFile, database, table) {
  await page.goto(site + '/');
  await page.click('a#adminer');
  await page.waitForSelector('input[name="auth[username]"]');
  await page.fill('input[name="auth[server]"]', 'localhost');
  await page.fill('input[name="auth[username]"]', 'root');
  await page.fill('input[name="auth[password]"]', '');
  await submit(page, 'input[type=submit][value="Login"]');
  await expectText(page, 'Create database', 'after logging in');

  await submit(page, 'text=Create database');
  await page.fill('input[name="name"]', database);
  await submit(page, 'input[type=submit][value="Save"]');
  await expectText(page, 'Database has been created.', 'after creating the database');

  await submit(page, 'a[href$="&import="]');
  await page.setInputFiles('input[type=file][name="sql_file[]"]', sqlFile);
  await submit(page, 'input[type=submit][value="Execute"]');
  const imported = await expectText(page, 'queries executed OK', 'after the import');
  console.log('import: ' + imported.match(/\d+ queries executed OK/)[0]);

  await submit(page, `a[href$="&select=${table}"]`);
  await expectText(page, table, 'the table');
  return page.$$eval('table.checkable tbody tr', trs =>
    trs.map(tr => [...tr.querySelectorAll('td')].slice(1).map(td => td.innerText.trim())));
}

// phpMyAdmin copied into www/phpmyadmin; it creates databases without a reload.
async function phpmyadmin(page, sqlFile, database, table) {
  const app = site + '/phpmyadmin/index.php';
  await page.goto(site + '/phpmyadmin/');
  await page.fill('#input_username', 'root');
  await page.fill('#input_password', '');
  await submit(page, '#input_go');
  await expectText(page, 'Server: localhost', 'after logging in');

  await page.goto(app + '?route=/server/databases');
  await page.fill('#text_create_db', database);
  await page.click('#buttonGo');
  await page.waitForSelector(`a:text-is("${database}")`);
  await expectText(page, database, 'after creating the database');

  await page.goto(`${app}?route=/database/import&db=${database}`);
  await page.setInputFiles('#input_import_file', sqlFile);
  await submit(page, '#buttonGo');
  const imported = await expectText(page, 'Import has been successfully finished', 'after the import');
  console.log('import: ' + imported.match(/\d+ queries executed/)[0] + ' OK');

  await page.goto(`${app}?route=/sql&db=${database}&table=${table}&pos=0`);
  await expectText(page, table, 'the table');
  return page.$$eval('table.table_results tbody tr', trs =>
    trs.map(tr => [...tr.querySelectorAll('td.data')].map(td => td.innerText.trim())));
}

async function printRows(rows) {
  for (const row of await rows) console.log('row: ' + row.join('|'));
}

// The block editor saves through WordPress's REST routes, /wp-json/... .
async function wordpress(page, title) {
  await wordpressLogin(page);

  await page.goto(site + '/wp-admin/post-new.php');
  await page.waitForFunction(() => window.wp && wp.data && wp.data.select('core/edit-post'));
  await page.evaluate(() => {  // the welcome guide would cover the editor
    if (wp.data.select('core/edit-post').isFeatureActive('welcomeGuide'))
      wp.data.dispatch('core/edit-post').toggleFeature('welcomeGuide');
  });
  await page.click('[aria-label="Add title"]');
  await page.keyboard.type(title);
  await page.keyboard.press('Enter');
  await page.keyboard.type('Written in the block editor.');
  await page.click('button.editor-post-publish-panel__toggle');
  const [saved] = await Promise.all([
    page.waitForResponse(r => /\/wp-json\/wp\/v2\/posts\/\d+/.test(r.url()) && r.request().method() !== 'GET'),
    page.click('button.editor-post-publish-button'),
  ]);
  console.log('saved: ' + saved.status());
  const link = (await saved.json()).link;
  await page.goto(link);
  const heading = await page.innerText('h1');
  await expectText(page, title, 'the post by its link');
  console.log('post: ' + heading);
}

async function wordpressLogin(page, at = site) {
  await page.goto(at + '/wp-login.php');
  await page.fill('#user_login', 'bench');
  await page.fill('#user_pass', 'bench-password');
  await submit(page, '#wp-submit');
  await expectText(page, 'Dashboard', 'after logging in');
}

async function dashboard(page, at) {
  await wordpressLogin(page, at);
  await page.goto(at + '/wp-admin/');
  await expectText(page, 'At a Glance', 'the admin');
  console.log('dashboard: ' + page.url());
}

// WordPress offers presets without /index.php/ only to a server it takes
// for one that reads its .htaccess, which it then writes itself.
async function permalinks(page) {
  await wordpressLogin(page);
  await page.goto(site + '/wp-admin/options-permalink.php');
  const preset = 'input[name="selection"][value="/%year%/%monthnum%/%day%/%postname%/"]';
  const example = await page.$eval(preset, input => input.closest('.row').querySelector('code').innerText);
  console.log('preset: ' + example.replace(/^https?:\/\/[^/]+/, ''));
  await page.check(preset);
  await submit(page, '#submit');
  const notice = await page.innerText('#setting-error-settings_updated');
  console.log('saved: ' + notice.split('\n')[0].trim());
  const post = await page.goto(site + '/?p=1');
  await expectText(page, 'Hello world!', 'the first post by its number');
  console.log('post: ' + post.status() + ' ' + new URL(page.url()).pathname);
}

// DokuWiki's admin page checks from the browser that data/ is not served.
async function dokuwiki(page) {
  await page.goto(site + '/dokuwiki/doku.php?id=start&do=login');
  await page.fill('input[name="u"]', 'admin');
  await page.fill('input[name="p"]', 'admin-password');
  await submit(page, '#dw__login button[type=submit]');
  await page.goto(site + '/dokuwiki/doku.php?id=start&do=admin');
  await expectText(page, 'Administration', 'the admin page');
  await page.waitForFunction(() => {
    const check = document.getElementById('security__check');
    return !check || check.classList.contains('error');
  });
  const warning = await page.$('#security__check');
  console.log('security check: ' + (warning ? await warning.innerText() : 'passed'));
}

// Browsers resolve *.localhost themselves: no host-resolver flag is given.
async function hosts(page, ...names) {
  const port = new URL(site).port;
  for (const name of names) {
    for (const visit of [1, 2]) await page.goto(`http://${name}.localhost:${port}/cookies.php`);
    console.log(`${name}: ${await page.innerText('body')}`);
  }
}

async function run() {
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: '/usr/bin/chromium',
    headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
  try {
    const page = context.pages()[0] || await context.newPage();
    page.setDefaultTimeout(20000);
    const act = {
      adminer: () => printRows(adminer(page, ...args)),
      phpmyadmin: () => printRows(phpmyadmin(page, ...args)),
      wordpress: () => wordpress(page, ...args),
      dashboard: () => dashboard(page, ...args),
      permalinks: () => permalinks(page),
      dokuwiki: () => dokuwiki(page),
      hosts: () => hosts(page, ...args),
    }[steps];
    await act();
  } finally {
    await context.close();
  }
}

run().then(() => process.exit(0), error => {
  console.log(String(error && error.stack || error));
  process.exit(1);
});
