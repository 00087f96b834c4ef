// A database tool of the tree driven in Debian's Chromium as a user would:
// log in as root without a password, create a database, import an uploaded
// .sql file and read the rows of its table.
//   node database-tools.cjs adminer|phpmyadmin <playwright-core folder> <site URL> <.sql file> <database> <table> <profile folder>
// Prints "import: ..." and "row: a|b|..." per row seen and exits 0; exits 1
// with what went wrong. A PHP warning, notice or error on a page is a failure.
const [tool, playwright, site, sqlFile, database, table, profile] = process.argv.slice(2);
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
async function adminer(page) {
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
async function phpmyadmin(page) {
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
    const rows = await { adminer, phpmyadmin }[tool](page);
    for (const row of rows) console.log('row: ' + row.join('|'));
  } finally {
    await context.close();
  }
}

run().then(() => process.exit(0), error => {
  console.log(String(error && error.stack || error));
  process.exit(1);
});
