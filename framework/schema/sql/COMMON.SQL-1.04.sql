alter table CONTA_CORRENTE
  add CODIGO_CEDENTE varchar(15),
  add CARTEIRA varchar(5);
update CONTA_CORRENTE set CODIGO_CEDENTE = NUM_CONTA;
alter table FORNECEDOR add CODIGO varchar(8);
create index IXC_FORNECEDOR_CODIGO on FORNECEDOR (CODIGO);
update VERSAO set NUMERO = '1.04' where ID = 1;
commit work;
