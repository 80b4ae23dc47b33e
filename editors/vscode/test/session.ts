// An editing session with veltro-lsp through vscode-languageserver-protocol,
// the library under vscode-languageclient: the server the VELTRO_LSP
// variable names (or veltro-lsp on the PATH) is started as the extension
// starts it, a script with an `else if` is opened, the finding appears on
// its line and goes away when the script is fixed, and names are explained,
// completed and followed.
import * as assert from 'assert';
import * as cp from 'child_process';
import * as fs from 'fs';
import * as os from 'os';
import * as path from 'path';
import {
  CompletionItem,
  CompletionRequest,
  createProtocolConnection,
  DefinitionRequest,
  DidChangeTextDocumentNotification,
  DidOpenTextDocumentNotification,
  ExitNotification,
  Hover,
  HoverRequest,
  InitializedNotification,
  InitializeRequest,
  Location,
  PublishDiagnosticsNotification,
  PublishDiagnosticsParams,
  ShutdownRequest,
  StreamMessageReader,
  StreamMessageWriter,
} from 'vscode-languageserver-protocol/node';

import { serverCommand } from '../src/server';

const script = [
  'def grade(n) {',
  '  if n > 90 {',
  '    return "A"',
  '  } else if n > 80 {',
  '    return "B"',
  '  }',
  '  return "C"',
  '}',
  '',
  'print(grade(85))',
  '',
].join('\n');
const fixed = script.replace('} else if n > 80 {\n    return "B"\n  }', '} else {\n    if n > 80 {\n      return "B"\n    }\n  }');

function onPath(command: string): boolean {
  if (command.includes('/')) return fs.existsSync(command);
  return (process.env.PATH ?? '').split(path.delimiter).some((dir) => fs.existsSync(path.join(dir, command)));
}

async function main(): Promise<void> {
  const command = serverCommand(process.env.VELTRO_LSP);
  if (!onPath(command)) {
    console.log(`session: skipped, no ${command} to start (set VELTRO_LSP)`);
    return;
  }
  const folder = fs.realpathSync(fs.mkdtempSync(path.join(os.tmpdir(), 'veltro-session-')));
  const server = cp.spawn(command, [], { cwd: folder, stdio: ['pipe', 'pipe', 'inherit'] });
  const exited = new Promise<number | null>((resolve) => server.on('exit', (code) => resolve(code)));
  const connection = createProtocolConnection(new StreamMessageReader(server.stdout), new StreamMessageWriter(server.stdin));
  const published: PublishDiagnosticsParams[] = [];
  const waiting: Array<() => void> = [];
  connection.onNotification(PublishDiagnosticsNotification.type, (params) => {
    published.push(params);
    waiting.splice(0).forEach((wake) => wake());
  });
  const nextDiagnostics = async (): Promise<PublishDiagnosticsParams> => {
    while (published.length === 0) await new Promise<void>((resolve) => waiting.push(resolve));
    return published.shift()!;
  };
  connection.listen();

  const uri = `file://${folder}/grade.vt`;
  const init = await connection.sendRequest(InitializeRequest.type, {
    processId: process.pid,
    rootUri: `file://${folder}`,
    capabilities: {},
    workspaceFolders: null,
  });
  assert.strictEqual(init.capabilities.positionEncoding, 'utf-16');
  await connection.sendNotification(InitializedNotification.type, {});

  await connection.sendNotification(DidOpenTextDocumentNotification.type, {
    textDocument: { uri, languageId: 'veltro', version: 1, text: script },
  });
  let diagnostics = await nextDiagnostics();
  assert.strictEqual(diagnostics.uri, uri);
  assert.deepStrictEqual(diagnostics.diagnostics.map((d) => [d.code, d.range.start.line]), [['V111', 3]]);
  console.log(`diagnostics: ${diagnostics.diagnostics[0].code} on line ${diagnostics.diagnostics[0].range.start.line + 1}`);

  await connection.sendNotification(DidChangeTextDocumentNotification.type, {
    textDocument: { uri, version: 2 },
    contentChanges: [{ text: fixed }],
  });
  diagnostics = await nextDiagnostics();
  assert.deepStrictEqual(diagnostics.diagnostics, []);
  console.log('diagnostics: cleared');

  const printLine = fixed.split('\n').findIndex((line) => line.startsWith('print'));
  const hover = (await connection.sendRequest(HoverRequest.type, {
    textDocument: { uri },
    position: { line: printLine, character: 2 },
  })) as Hover;
  assert.match(JSON.stringify(hover.contents), /print\(values\.\.\.\)/);

  const items = (await connection.sendRequest(CompletionRequest.type, {
    textDocument: { uri },
    position: { line: printLine + 1, character: 0 },
  })) as CompletionItem[];
  const labels = items.map((item) => item.label);
  for (const name of ['print', 'len', 'grade', 'files', 'while']) assert.ok(labels.includes(name), name);

  const location = (await connection.sendRequest(DefinitionRequest.type, {
    textDocument: { uri },
    position: { line: printLine, character: 7 },
  })) as Location;
  assert.deepStrictEqual(location.range.start, { line: 0, character: 4 });
  console.log('hover, completion, definition: ok');

  await connection.sendRequest(ShutdownRequest.type);
  await connection.sendNotification(ExitNotification.type);
  assert.strictEqual(await exited, 0);
  connection.dispose();
  fs.rmSync(folder, { recursive: true, force: true });
  console.log('session: ok');
}

main().catch((error) => {
  console.error(error);
  process.exit(1);
});
