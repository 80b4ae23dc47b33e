// The Veltro extension: the grammar colours scripts on its own; this starts
// veltro-lsp for the findings, hover, completion, definitions and symbols.
import * as vscode from 'vscode';
import { LanguageClient, LanguageClientOptions, ServerOptions } from 'vscode-languageclient/node';

import { serverCommand } from './server';

let client: LanguageClient | undefined;

async function start(): Promise<void> {
  const command = serverCommand(vscode.workspace.getConfiguration('veltro').get<string>('server.path'));
  const serverOptions: ServerOptions = { command, args: [] };
  const clientOptions: LanguageClientOptions = {
    documentSelector: [
      { scheme: 'file', language: 'veltro' },
      { scheme: 'untitled', language: 'veltro' },
    ],
  };
  client = new LanguageClient('veltro', 'Veltro', serverOptions, clientOptions);
  try {
    await client.start();
  } catch (error) {
    client = undefined;
    void vscode.window.showErrorMessage(
      `Veltro: could not start the language server '${command}' (set veltro.server.path): ${error}`);
  }
}

async function stop(): Promise<void> {
  const running = client;
  client = undefined;
  if (running) await running.stop();
}

export async function activate(context: vscode.ExtensionContext): Promise<void> {
  context.subscriptions.push(
    vscode.commands.registerCommand('veltro.restartServer', async () => {
      await stop();
      await start();
    }),
    vscode.workspace.onDidChangeConfiguration(async (event) => {
      if (event.affectsConfiguration('veltro.server.path')) {
        await stop();
        await start();
      }
    }),
  );
  await start();
}

export function deactivate(): Promise<void> {
  return stop();
}
