// Adminer of the tree driven in Debian's Chromium as a user would: from the
// welcome page to Adminer, log in as root without a password, create a
// database, import an uploaded .sql file and read the rows of its table.
//   node adminer.cjs <playwright-core folder> <site URL> <.sql file> <database> <table> <profile folder>
// Prints "row: a|b|..." per row seen and exits 0; exits 1 with what went wrong.
// A PHP warning, notice or error on any page counts as a failure.
const [playwright, site, sqlFile, database, table, profile] = process.argv.slice(2);
const { chromium } = require(playwright);

const phpTrouble = /<b>(Warning|Notice|Deprecated|Fatal error|Parse error)<\/b>/;

async function expectText(page, text, step) {
  const html = await page.content();
  const trouble = html.match(phpTrouble);
  if (trouble) throw new Error(`${step}: PHP ${trouble[1]} on ${page.url()}:\n${await page.innerText('body')}`);
  if (!(await page.innerText('body')).includes(text))
    throw new Error(`${step}: no "${text}" on ${page.url()}:\n${await page.innerText('body')}`);
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

    await page.goto(site + '/');
    await page.click('a#adminer');
    await page.waitForSelector('input[name="auth[username]"]');
    await expectText(page, 'Login', 'the login form');
    await page.fill('input[name="auth[server]"]', 'localhost');
    await page.fill('input[name="auth[username]"]', 'root');
    await page.fill('input[name="auth[password]"]', '');
    await Promise.all([page.waitForNavigation(), page.click('input[type=submit][value="Login"]')]);
    await expectText(page, 'Create database', 'after logging in');

    await Promise.all([page.waitForNavigation(), page.click('text=Create database')]);
    await page.fill('input[name="name"]', database);
    await Promise.all([page.waitForNavigation(), page.click('input[type=submit][value="Save"]')]);
    await expectText(page, 'Database has been created.', 'after creating the database');

    await Promise.all([page.waitForNavigation(), page.click('a[href$="&import="]')]);
    await page.setInputFiles('input[type=file][name="sql_file[]"]', sqlFile);
    await Promise.all([page.waitForNavigation(), page.click('input[type=submit][value="Execute"]')]);
    await expectText(page, 'queries executed OK', 'after the import');
    console.log('import: ' + (await page.innerText('body')).match(/\d+ queries executed OK/)[0]);

    await Promise.all([page.waitForNavigation(), page.click(`a[href$="&select=${table}"]`)]);
    await expectText(page, table, 'the table');
    const rows = await page.$$eval('table.checkable tbody tr', trs =>
      trs.map(tr => [...tr.querySelectorAll('td')].slice(1).map(td => td.innerText.trim()).join('|')));
    for (const row of rows) console.log('row: ' + row);
  } finally {
    await context.close();
  }
}

run().then(() => process.exit(0), error => {
  console.log(String(error && error.stack || error));
  process.exit(1);
});
