program Orders;

{ Order entry for the warehouse: a BDE application kept as the migration sample. }

uses
  Forms,
  DBTables,
  Main in 'Main.pas' {MainForm},
  DataMod in 'DataMod.pas' {OrdersData: TDataModule},
  Reports in 'Reports.pas',
  Legacy in 'Legacy.pas',
  Utils in 'Shared\Utils.pas',
  Archive in 'Archive\Archive.pas' {ArchiveForm};

{$R *.res}

begin
  Application.Initialize;
  Application.Title := 'Orders';
  Application.CreateForm(TOrdersData, OrdersData);
  Application.CreateForm(TMainForm, MainForm);
  Application.Run;
end.
